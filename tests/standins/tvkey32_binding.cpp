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
  module = LoadLibraryA("tvkey32.dll");
  if (!module) {
    missing = "tvkey32.dll";
    return false;
  }
  // In the binder's order; the first missing name ends the binding.
  const bool all =
      Resolve(module, kTvkey32Names[0], EnumReaders, missing) &&
      Resolve(module, kTvkey32Names[1], InitReader, missing) &&
      Resolve(module, kTvkey32Names[2], CloseReader, missing) &&
      Resolve(module, kTvkey32Names[3], InitCard, missing) &&
      Resolve(module, kTvkey32Names[4], CloseCard, missing) &&
      Resolve(module, kTvkey32Names[5], VerifyPIN, missing) &&
      Resolve(module, kTvkey32Names[6], ChangePIN, missing) &&
      Resolve(module, kTvkey32Names[7], UnblockPIN, missing) &&
      Resolve(module, kTvkey32Names[8], ReadData, missing) &&
      Resolve(module, kTvkey32Names[9], WriteData, missing) &&
      Resolve(module, kTvkey32Names[10], DeleteData, missing) &&
      Resolve(module, kTvkey32Names[11], SetDataSize, missing) &&
      Resolve(module, kTvkey32Names[12], GetRandom, missing) &&
      Resolve(module, kTvkey32Names[13], GetReaderName, missing) &&
      Resolve(module, kTvkey32Names[14], GetReaderType, missing) &&
      Resolve(module, kTvkey32Names[15], IsDataExist, missing) &&
      Resolve(module, kTvkey32Names[16], IsDataExisting, missing) &&
      Resolve(module, kTvkey32Names[17], GetCardID, missing) &&
      Resolve(module, kTvkey32Names[18], GetCardType, missing) &&
      Resolve(module, kTvkey32Names[19], EnumApplications, missing) &&
      Resolve(module, kTvkey32Names[20], GetApplicationInfo, missing) &&
      Resolve(module, kTvkey32Names[21], ReadLabel, missing) &&
      Resolve(module, kTvkey32Names[22], WriteLabel, missing) &&
      Resolve(module, kTvkey32Names[23], ReadDataApp, missing) &&
      Resolve(module, kTvkey32Names[24], WriteDataApp, missing) &&
      Resolve(module, kTvkey32Names[25], SetDataSizeApp, missing) &&
      Resolve(module, kTvkey32Names[26], ReadBIR, missing) &&
      Resolve(module, kTvkey32Names[27], WriteBIR, missing) &&
      Resolve(module, kTvkey32Names[28], SetBIRSize, missing) &&
      Resolve(module, kTvkey32Names[29], DeleteBIR, missing) &&
      Resolve(module, kTvkey32Names[30], AnyReadersChanges, missing) &&
      Resolve(module, kTvkey32Names[31], ExternalAuth, missing) &&
      Resolve(module, kTvkey32Names[32], ChangeIssuerKey, missing) &&
      Resolve(module, kTvkey32Names[33], FormatCard, missing) &&
      Resolve(module, kTvkey32Names[34], UnformatCard, missing);
  if (!all) return false;
  return Resolve(module, "KeySimSetFault", KeySimSetFault, missing) &&
         Resolve(module, "KeySimForceStatus", KeySimForceStatus, missing) &&
         Resolve(module, "KeySimClearFaults", KeySimClearFaults, missing);
}

Tvkey32::~Tvkey32() {
  if (module) FreeLibrary(module);
}

}  // namespace tvtest
