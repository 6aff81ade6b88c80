#include "csp/storage/registry_values.h"

namespace tv::csp {

bool RegistryKey::Open(HKEY root, const char* path) {
  Close();
  const LONG result = RegOpenKeyExA(root, path, 0, MAXIMUM_ALLOWED, &key_);
  if (result == ERROR_SUCCESS) return true;
  key_ = nullptr;
  return FailWith(result);
}

bool RegistryKey::Create(HKEY root, const char* path, bool& created) {
  Close();
  DWORD disposition = 0;
  const LONG result =
      RegCreateKeyExA(root, path, 0, nullptr, 0, MAXIMUM_ALLOWED, nullptr, &key_, &disposition);
  if (result != ERROR_SUCCESS) {
    key_ = nullptr;
    return FailWith(result);
  }
  created = disposition == REG_CREATED_NEW_KEY;
  return true;
}

bool RegistryKey::Close() {
  if (!key_) return true;
  const LONG result = RegCloseKey(std::exchange(key_, nullptr));
  return result == ERROR_SUCCESS || FailWith(result);
}

bool QueryValueSize(HKEY key, const char* name, DWORD& size, bool& present) {
  size = 0;
  const LONG result = RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size);
  present = result == ERROR_SUCCESS;
  return present || result == ERROR_FILE_NOT_FOUND || FailWith(result);
}

bool ReadValue(HKEY key, const char* name, std::size_t maxSize, crypto::WipingBuffer& bytes,
               bool& present) {
  DWORD size = 0;
  if (!QueryValueSize(key, name, size, present)) return false;
  if (!present) {
    bytes = crypto::WipingBuffer();
    return true;
  }
  if (size > maxSize) return FailWith(static_cast<DWORD>(NTE_KEYSET_ENTRY_BAD));
  crypto::WipingBuffer read(size);
  if (read.Size() != size) return FailWith(static_cast<DWORD>(NTE_NO_MEMORY));
  DWORD got = size;
  const LONG result = RegQueryValueExA(key, name, nullptr, nullptr, read.Data(), &got);
  if (result != ERROR_SUCCESS) return FailWith(result);
  if (got != size) return FailWith(static_cast<DWORD>(NTE_KEYSET_ENTRY_BAD));
  bytes = std::move(read);
  return true;
}

bool WriteBinaryValue(HKEY key, const char* name, std::span<const std::uint8_t> bytes) {
  const LONG result =
      RegSetValueExA(key, name, 0, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
  return result == ERROR_SUCCESS || FailWith(result);
}

bool DeleteValue(HKEY key, const char* name) {
  const LONG result = RegDeleteValueA(key, name);
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND || FailWith(result);
}

}  // namespace tv::csp
