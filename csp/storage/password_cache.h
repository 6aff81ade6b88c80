// The logged-on user's Windows password cache (mpr.dll), where the registry
// backend keeps the secret bytes of each container's protection key under
// the resource name "crypt_" + container name, entry type 6.
//
// mpr.dll is bound by name while at least one registry storage is open: the
// first AcquirePasswordCache loads it, the ReleasePasswordCache that ends
// the last one frees it.
#pragma once
#include <windows.h>

#include <cstdint>
#include <span>

namespace tv::csp {

using GetCachedPasswordFunction = DWORD(WINAPI*)(LPSTR resource, WORD resourceLength, LPSTR password,
                                                 LPWORD passwordLength, BYTE type);
using CachePasswordFunction = DWORD(WINAPI*)(LPSTR resource, WORD resourceLength, LPSTR password,
                                             WORD passwordLength, BYTE type, WORD reserved);
using RemoveCachedPasswordFunction = DWORD(WINAPI*)(LPSTR resource, WORD resourceLength, BYTE type);

struct PasswordCacheBinding {
  HMODULE library = nullptr;
  GetCachedPasswordFunction get = nullptr;
  CachePasswordFunction cache = nullptr;
  RemoveCachedPasswordFunction remove = nullptr;
};

// Loads `library` and takes its three password-cache functions. When the
// library or any function is missing, nothing stays loaded and the result
// is false.
bool BindPasswordCache(const char* library, PasswordCacheBinding& binding);

// Counts an open registry storage, binding mpr.dll for the first one.
bool AcquirePasswordCache();
// Uncounts one; false when none was counted or freeing mpr.dll failed.
bool ReleasePasswordCache();

// The cached entry of a container, copied into the front of a zeroed
// 16-byte key. False when there is no entry (or it is longer than 16 bytes).
bool GetContainerPassword(const char* name, std::span<std::uint8_t, 16> key);
// Stores the container's entry, replacing an existing one.
bool CacheContainerPassword(const char* name, std::span<const std::uint8_t, 5> password);
bool RemoveContainerPassword(const char* name);

}  // namespace tv::csp
