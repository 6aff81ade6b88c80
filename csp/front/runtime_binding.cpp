#include "csp/front/runtime_binding.h"

#include <cctype>

#include "common/proc_address.h"
#include "csp/front/provider_identity.h"
#include "standins/tvar/tvar.h"

namespace tv::csp {
namespace {

using tv::ProcAddress;

constexpr const char* kFunctionNames[] = {
    "ReadConfigKey",       "WriteConfigKey", "CreateConfigKey", "DeleteConfigKey",
    "RenameConfigKey",     "GetConfigKeyByIndex", "SetRegistryKey", "AppStartEx",
    "AssociateEx",         "UnAssociate",    "CheckForUpdates"};
constexpr int kFunctionCount = sizeof kFunctionNames / sizeof kFunctionNames[0];

HMODULE RuntimeLibrary;
void (*RuntimeFunctions[kFunctionCount])();

void ClearBindings() {
  for (auto& f : RuntimeFunctions) f = nullptr;
}

}  // namespace

bool BindRuntimeLibrary() {
  RuntimeLibrary = LoadLibraryA("tvar.dll");
  if (!RuntimeLibrary) return false;
  for (int i = 0; i < kFunctionCount; ++i) {
    RuntimeFunctions[i] = ProcAddress<void (*)()>(RuntimeLibrary, kFunctionNames[i]);
    if (!RuntimeFunctions[i]) {
      const DWORD error = GetLastError();
      UnbindRuntimeLibrary();
      SetLastError(error);
      return false;
    }
  }
  return true;
}

void UnbindRuntimeLibrary() {
  if (RuntimeLibrary) FreeLibrary(RuntimeLibrary);
  RuntimeLibrary = nullptr;
  ClearBindings();
}

std::string ConfigSectionName(const std::string& displayName, const char* maker) {
  if (displayName.find(maker) == std::string::npos) return displayName;
  std::string section = displayName.size() > 6 ? displayName.substr(6) : std::string();
  size_t first = 0;
  while (first < section.size() && !isalpha(static_cast<unsigned char>(section[first]))) ++first;
  return section.substr(first);
}

bool ReadConfigValue(const std::string& section, const char* name, std::uint32_t& value) {
  auto read = reinterpret_cast<TvarReadConfigKey>(RuntimeFunctions[0]);
  if (!read) return false;
  std::uint32_t result = 0;
  if (!read(section.c_str(), name, TVAR_TYPE_DWORD, &result, sizeof result,
            TVAR_SCOPE_USER_THEN_MACHINE, 0, kMakerName))
    return false;
  value = result;
  return true;
}

}  // namespace tv::csp
