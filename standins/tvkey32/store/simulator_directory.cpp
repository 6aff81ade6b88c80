#include "standins/tvkey32/store/simulator_directory.h"

#include <windows.h>
#include <shlobj.h>

namespace tv::keysim {
namespace {

std::string FromEnvironment() {
  char value[MAX_PATH];
  const DWORD n = GetEnvironmentVariableA(kDirectoryVariable, value, sizeof value);
  return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

std::string FromRegistry() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kDirectoryRegistryKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return {};
  char value[MAX_PATH] = {};
  DWORD type = 0;
  DWORD size = sizeof value - 1;
  const LONG result =
      RegQueryValueExA(key, kDirectoryRegistryValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
  if (type == REG_SZ) return value;
  char expanded[MAX_PATH];
  const DWORD n = ExpandEnvironmentStringsA(value, expanded, sizeof expanded);
  return n > 0 && n <= sizeof expanded ? std::string(expanded) : std::string();
}

std::string FromLocalAppData() {
  char base[MAX_PATH];
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, base))) {
    return {};
  }
  return std::string(base) + "\\Tavrin\\KeySim";
}

}  // namespace

std::string NormalisePath(const std::string& path) {
  char full[MAX_PATH];
  const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  if (n == 0 || n >= sizeof full) return {};
  std::string result(full, n);
  if (result.size() > 3 && result.back() == '\\') result.pop_back();
  return result;
}

std::string SimulatorDirectory() {
  std::string dir = FromEnvironment();
  if (dir.empty()) dir = FromRegistry();
  if (dir.empty()) dir = FromLocalAppData();
  return dir.empty() ? dir : NormalisePath(dir);
}

}  // namespace tv::keysim
