#include "csp/storage/password_cache.h"

#include <cstring>
#include <mutex>

#include "common/proc_address.h"
#include "csp/crypto/cpu/wipe.h"
#include "csp/storage/container_registry.h"
#include "csp/storage/registry_values.h"

namespace tv::csp {
namespace {

constexpr BYTE kEntryType = 6;
constexpr const char* kResourcePrefix = "crypt_";

// Guards the count and the binding: contexts may be opened and released
// on several threads at once.
std::mutex CacheLock;
unsigned OpenCount = 0;
PasswordCacheBinding Cache;

// "crypt_" + name, the entry's resource name (its length excludes the zero).
class ResourceName {
 public:
  bool Build(const char* name) { return JoinText(text_, kResourcePrefix, name); }
  LPSTR Text() { return text_; }
  WORD Length() const { return static_cast<WORD>(std::strlen(text_)); }

 private:
  char text_[8 + kContainerNameBufferSize] = {};
};

bool Succeeded(DWORD result) { return result == 0 || FailWith(result); }

}  // namespace

bool BindPasswordCache(const char* library, PasswordCacheBinding& binding) {
  PasswordCacheBinding bound;
  bound.library = LoadLibraryA(library);
  if (!bound.library) return false;
  bound.get = ProcAddress<GetCachedPasswordFunction>(bound.library, "WNetGetCachedPassword");
  bound.cache = ProcAddress<CachePasswordFunction>(bound.library, "WNetCachePassword");
  bound.remove = ProcAddress<RemoveCachedPasswordFunction>(bound.library, "WNetRemoveCachedPassword");
  if (!bound.get || !bound.cache || !bound.remove) {
    const DWORD error = GetLastError();
    FreeLibrary(bound.library);
    return FailWith(error ? error : static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  }
  binding = bound;
  return true;
}

bool AcquirePasswordCache() {
  std::lock_guard<std::mutex> hold(CacheLock);
  if (OpenCount == 0 && !BindPasswordCache("mpr.dll", Cache)) return false;
  ++OpenCount;
  return true;
}

bool ReleasePasswordCache() {
  std::lock_guard<std::mutex> hold(CacheLock);
  if (OpenCount == 0) return FailWith(ERROR_INVALID_PARAMETER);
  if (--OpenCount > 0) return true;
  const HMODULE library = Cache.library;
  Cache = PasswordCacheBinding();
  return FreeLibrary(library) != FALSE;
}

bool GetContainerPassword(const char* name, std::span<std::uint8_t, 16> key) {
  ResourceName resource;
  if (!resource.Build(name)) return false;
  std::uint8_t password[16] = {};
  WORD length = sizeof password;
  const bool found = Succeeded(Cache.get(resource.Text(), resource.Length(),
                                         reinterpret_cast<LPSTR>(password), &length, kEntryType));
  if (found) std::memcpy(key.data(), password, sizeof password);
  crypto::SecureWipe(password, sizeof password);
  return found;
}

bool CacheContainerPassword(const char* name, std::span<const std::uint8_t, 5> password) {
  ResourceName resource;
  if (!resource.Build(name)) return false;
  std::uint8_t copy[5];
  std::memcpy(copy, password.data(), sizeof copy);
  const bool cached = Succeeded(Cache.cache(resource.Text(), resource.Length(), reinterpret_cast<LPSTR>(copy),
                                            sizeof copy, kEntryType, 0));
  crypto::SecureWipe(copy, sizeof copy);
  return cached;
}

bool RemoveContainerPassword(const char* name) {
  ResourceName resource;
  return resource.Build(name) && Succeeded(Cache.remove(resource.Text(), resource.Length(), kEntryType));
}

}  // namespace tv::csp
