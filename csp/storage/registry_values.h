// Registry keys and binary values as the storage backends use them: an
// owning key handle, and value reads and writes that report failures
// through the thread's last error (the registry functions return their
// error instead of setting it).
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "csp/crypto/cpu/wipe.h"

namespace tv::csp {

// Failure with `error` as the thread's last error.
inline bool FailWith(DWORD error) {
  SetLastError(error);
  return false;
}

// An open registry key, closed when the owner goes away.
class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey() { Close(); }
  RegistryKey(RegistryKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
  RegistryKey& operator=(RegistryKey&& other) noexcept {
    if (this != &other) {
      Close();
      key_ = std::exchange(other.key_, nullptr);
    }
    return *this;
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Opens (with the most access the caller has) or creates root\path;
  // created tells whether the key is new.
  bool Open(HKEY root, const char* path);
  bool Create(HKEY root, const char* path, bool& created);
  // Closes the key; false (last error set) when RegCloseKey fails. The
  // handle is given up either way.
  bool Close();

  HKEY Get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
};

// Size of a value; present = false (and true returned) when it is absent.
bool QueryValueSize(HKEY key, const char* name, DWORD& size, bool& present);
// Reads a whole value of at most maxSize bytes into `bytes`; present =
// false when it is absent. A larger value fails with NTE_KEYSET_ENTRY_BAD.
bool ReadValue(HKEY key, const char* name, std::size_t maxSize, crypto::WipingBuffer& bytes,
               bool& present);
bool WriteBinaryValue(HKEY key, const char* name, std::span<const std::uint8_t> bytes);
// Deletes a value; an absent value counts as deleted.
bool DeleteValue(HKEY key, const char* name);

}  // namespace tv::csp
