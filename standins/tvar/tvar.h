// Interface of tvar.dll, the runtime library's configuration store, as the
// product binds it by name. Values live in the registry under
// Software\<maker>\<section>, the user's hive first, then the machine's.
#pragma once
#include <windows.h>

// Value types of ReadConfigKey/WriteConfigKey.
#define TVAR_TYPE_DWORD 1
#define TVAR_TYPE_STRING 2
#define TVAR_TYPE_BINARY 3

// Scopes: where a value is looked up or written.
#define TVAR_SCOPE_USER_THEN_MACHINE 1
#define TVAR_SCOPE_USER 2
#define TVAR_SCOPE_MACHINE 3

extern "C" {
// Reads value `name` of `section` into data (size bytes). FALSE with the
// registry's error when absent or too large for the buffer.
typedef BOOL(WINAPI* TvarReadConfigKey)(const char* section, const char* name, DWORD type,
                                        void* data, DWORD size, DWORD scope, DWORD reserved,
                                        const char* maker);
typedef BOOL(WINAPI* TvarWriteConfigKey)(const char* section, const char* name, DWORD type,
                                         const void* data, DWORD size, DWORD scope,
                                         DWORD reserved, const char* maker);
typedef BOOL(WINAPI* TvarCreateConfigKey)(const char* section, DWORD scope, const char* maker);
// Deletes one value, or the whole section when name is null.
typedef BOOL(WINAPI* TvarDeleteConfigKey)(const char* section, const char* name, DWORD scope,
                                          const char* maker);
typedef BOOL(WINAPI* TvarRenameConfigKey)(const char* section, const char* oldName,
                                          const char* newName, DWORD scope, const char* maker);
// Name of the index-th value of a section; FALSE with ERROR_NO_MORE_ITEMS past the end.
typedef BOOL(WINAPI* TvarGetConfigKeyByIndex)(const char* section, DWORD index, char* name,
                                              DWORD nameSize, DWORD scope, const char* maker);
// Sets the maker name used when a call passes none.
typedef BOOL(WINAPI* TvarSetRegistryKey)(const char* maker);
}
