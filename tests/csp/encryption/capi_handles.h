// CryptoAPI handles for the encryption tests, released with their owners.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <utility>

namespace tvtest {

// A verify-only context of the named provider.
class Context {
 public:
  explicit Context(const char* name, DWORD type = PROV_RSA_FULL)
      : ok_(CryptAcquireContextA(&handle_, nullptr, name, type, CRYPT_VERIFYCONTEXT)) {}
  ~Context() {
    if (ok_) CryptReleaseContext(handle_, 0);
  }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;
  bool Ok() const { return ok_; }
  HCRYPTPROV Handle() const { return handle_; }

 private:
  HCRYPTPROV handle_ = 0;
  bool ok_;
};

// A key handle destroyed with its owner.
class Key {
 public:
  Key() = default;
  explicit Key(HCRYPTKEY handle) : handle_(handle) {}
  ~Key() {
    if (handle_) CryptDestroyKey(handle_);
  }
  Key(Key&& other) noexcept : handle_(std::exchange(other.handle_, 0)) {}
  Key& operator=(Key&& other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
  }
  HCRYPTKEY Handle() const { return handle_; }

 private:
  HCRYPTKEY handle_ = 0;
};

}  // namespace tvtest
