#include "tests/standins/tvkey32_binding.h"

namespace tvtest {

const char* const kTvkey32Names[35] = {
    "EnumReaders",      "InitReader",       "CloseReader",     "InitCard",      "CloseCard",
    "VerifyPIN",        "ChangePIN",        "UnblockPIN",      "ReadData",      "WriteData",
    "DeleteData",       "SetDataSize",      "GetRandom",       "GetReaderName", "GetReaderType",
    "IsDataExist",      "IsDataExisting",   "GetCardID",       "GetCardType",   "EnumApplications",
    "GetApplicationInfo", "ReadLabel",      "WriteLabel",      "ReadDataApp",   "WriteDataApp",
    "SetDataSizeApp",   "ReadBIR",          "WriteBIR",        "SetBIRSize",    "DeleteBIR",
    "AnyReadersChanges", "ExternalAuth",    "ChangeIssuerKey", "FormatCard",    "UnformatCard",
};

namespace {

template <class Fn>
bool Resolve(HMODULE module, const char* name, Fn& out, std::string& missing) {
  out = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (!out && missing.empty()) missing = name;
  return out != nullptr;
}

}  // namespace

bool Tvkey32::Bind() {
  module = tv::token::BindTokenLibrary(tv::token::kTokenLibraryName, *this);
  if (!module) {
    missing = "tvkey32.dll or one of its 35 token functions (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  return Resolve(module, "KeySimSetFault", KeySimSetFault, missing) &&
         Resolve(module, "KeySimForceStatus", KeySimForceStatus, missing) &&
         Resolve(module, "KeySimClearFaults", KeySimClearFaults, missing);
}

Tvkey32::~Tvkey32() {
  if (module) FreeLibrary(module);
}

}  // namespace tvtest
