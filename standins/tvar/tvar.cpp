// tvar.dll stand-in: the configuration functions over the registry; the
// application-runtime functions the product never calls are refused.
#include "standins/tvar/tvar.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

char DefaultMaker[64] = "Tavrin";

std::string SectionPath(const char* section, const char* maker) {
  return std::string("Software\\") + (maker && *maker ? maker : DefaultMaker) + "\\" +
         (section ? section : "");
}

DWORD RegistryType(DWORD type) {
  switch (type) {
    case TVAR_TYPE_DWORD: return REG_DWORD;
    case TVAR_TYPE_STRING: return REG_SZ;
    default: return REG_BINARY;
  }
}

// The hives a scope covers, in lookup order.
int Hives(DWORD scope, HKEY hives[2]) {
  switch (scope) {
    case TVAR_SCOPE_USER: hives[0] = HKEY_CURRENT_USER; return 1;
    case TVAR_SCOPE_MACHINE: hives[0] = HKEY_LOCAL_MACHINE; return 1;
    default: hives[0] = HKEY_CURRENT_USER; hives[1] = HKEY_LOCAL_MACHINE; return 2;
  }
}

BOOL Fail(LONG error) {
  SetLastError(static_cast<DWORD>(error));
  return FALSE;
}

}  // namespace

extern "C" {

BOOL WINAPI ReadConfigKey(const char* section, const char* name, DWORD, void* data, DWORD size,
                          DWORD scope, DWORD, const char* maker) {
  HKEY hives[2];
  const int count = Hives(scope, hives);
  LONG error = ERROR_FILE_NOT_FOUND;
  const std::string path = SectionPath(section, maker);
  for (int i = 0; i < count; ++i) {
    DWORD length = size;
    error = RegGetValueA(hives[i], path.c_str(), name, RRF_RT_ANY, nullptr, data, &length);
    if (error == ERROR_SUCCESS) return TRUE;
    if (error != ERROR_FILE_NOT_FOUND) break;
  }
  return Fail(error);
}

BOOL WINAPI WriteConfigKey(const char* section, const char* name, DWORD type, const void* data,
                           DWORD size, DWORD scope, DWORD, const char* maker) {
  HKEY hives[2];
  Hives(scope, hives);
  HKEY key;
  LONG error = RegCreateKeyExA(hives[0], SectionPath(section, maker).c_str(), 0, nullptr, 0,
                               KEY_SET_VALUE, nullptr, &key, nullptr);
  if (error != ERROR_SUCCESS) return Fail(error);
  error = RegSetValueExA(key, name, 0, RegistryType(type), static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
  return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

BOOL WINAPI CreateConfigKey(const char* section, DWORD scope, const char* maker) {
  HKEY hives[2];
  Hives(scope, hives);
  HKEY key;
  const LONG error = RegCreateKeyExA(hives[0], SectionPath(section, maker).c_str(), 0, nullptr, 0,
                                     KEY_READ, nullptr, &key, nullptr);
  if (error != ERROR_SUCCESS) return Fail(error);
  RegCloseKey(key);
  return TRUE;
}

BOOL WINAPI DeleteConfigKey(const char* section, const char* name, DWORD scope, const char* maker) {
  HKEY hives[2];
  Hives(scope, hives);
  const std::string path = SectionPath(section, maker);
  const LONG error = name ? RegDeleteKeyValueA(hives[0], path.c_str(), name)
                          : RegDeleteTreeA(hives[0], path.c_str());
  return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

BOOL WINAPI RenameConfigKey(const char* section, const char* oldName, const char* newName,
                            DWORD scope, const char* maker) {
  HKEY hives[2];
  Hives(scope, hives);
  HKEY key;
  LONG error = RegOpenKeyExA(hives[0], SectionPath(section, maker).c_str(), 0,
                             KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
  if (error != ERROR_SUCCESS) return Fail(error);
  DWORD type = 0, size = 0;
  error = RegQueryValueExA(key, oldName, nullptr, &type, nullptr, &size);
  std::string value(size, '\0');
  if (error == ERROR_SUCCESS)
    error = RegQueryValueExA(key, oldName, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size);
  if (error == ERROR_SUCCESS)
    error = RegSetValueExA(key, newName, 0, type, reinterpret_cast<const BYTE*>(value.data()), size);
  if (error == ERROR_SUCCESS) error = RegDeleteValueA(key, oldName);
  RegCloseKey(key);
  return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

BOOL WINAPI GetConfigKeyByIndex(const char* section, DWORD index, char* name, DWORD nameSize,
                                DWORD scope, const char* maker) {
  HKEY hives[2];
  Hives(scope, hives);
  HKEY key;
  LONG error = RegOpenKeyExA(hives[0], SectionPath(section, maker).c_str(), 0, KEY_QUERY_VALUE, &key);
  if (error != ERROR_SUCCESS) return Fail(error);
  DWORD length = nameSize;
  error = RegEnumValueA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

BOOL WINAPI SetRegistryKey(const char* maker) {
  if (!maker || !*maker || strlen(maker) >= sizeof DefaultMaker) return Fail(ERROR_INVALID_PARAMETER);
  snprintf(DefaultMaker, sizeof DefaultMaker, "%s", maker);
  return TRUE;
}

// Application-runtime services the product never calls.
BOOL __cdecl AppStartEx(...) { return Fail(ERROR_CALL_NOT_IMPLEMENTED); }
BOOL __cdecl AssociateEx(...) { return Fail(ERROR_CALL_NOT_IMPLEMENTED); }
BOOL __cdecl UnAssociate(...) { return Fail(ERROR_CALL_NOT_IMPLEMENTED); }
BOOL __cdecl CheckForUpdates(...) { return Fail(ERROR_CALL_NOT_IMPLEMENTED); }

}  // extern "C"
