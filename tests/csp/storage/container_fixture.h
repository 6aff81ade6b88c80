// What the registry storage tests look at from outside the backend: the
// registry values of a container, the user's password cache (bound here
// independently of the product) and a reference RC4 keystream.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "csp/storage/storage.h"

namespace tvtest {

using Bytes = std::vector<std::uint8_t>;

// Root and key path of a container as the provider keeps it.
struct ContainerKeyPath {
  HKEY root;
  std::string path;
};
ContainerKeyPath KeyPathOf(const std::string& name, DWORD machine);

// A value of a registry key, or nothing when the key or value is absent.
std::optional<Bytes> RegistryValue(const ContainerKeyPath& key, const char* valueName);
bool RegistryKeyExists(const ContainerKeyPath& key);

// The password-cache entry "crypt_" + name, type 6.
std::optional<Bytes> CachedPassword(const std::string& containerName);
bool CachePassword(const std::string& containerName, const Bytes& password);
void RemoveCachedPassword(const std::string& containerName);

// The first `length` bytes of the RC4 keystream of `key`, from a plain
// implementation of the test's own, independent of the product's cipher.
Bytes Rc4Keystream(const Bytes& key, std::size_t length);

// a ^ b over a's length.
Bytes Xor(const Bytes& a, const Bytes& b, std::size_t bOffset);

// A container name used by one test, whose registry keys (user and
// machine) and password-cache entry are removed when the test ends.
class ScopedContainerName {
 public:
  ScopedContainerName();
  ~ScopedContainerName();
  ScopedContainerName(const ScopedContainerName&) = delete;
  ScopedContainerName& operator=(const ScopedContainerName&) = delete;
  const char* c_str() const { return name_.c_str(); }
  const std::string& str() const { return name_; }

 private:
  std::string name_;
};

// A registry storage opened for one container name and root, closed at
// the end of the test, with the calls the tests make through it.
class RegistryContainer {
 public:
  RegistryContainer(const ScopedContainerName& name, DWORD machine);
  ~RegistryContainer();
  RegistryContainer(const RegistryContainer&) = delete;
  RegistryContainer& operator=(const RegistryContainer&) = delete;

  const tv::csp::StorageOperations& ops = tv::csp::RegistryStorage();
  tv::csp::StorageRecord* storage = nullptr;

  bool Create(const Bytes& protection);
  bool Open(bool forDelete = false);
  bool Close(const std::uint8_t* seed = nullptr);
  bool Write(tv::csp::RecordSlot slot, Bytes record, std::uint8_t exportable);
  // The record of a slot read as the provider context does: size, then data.
  std::optional<Bytes> Read(tv::csp::RecordSlot slot, std::uint8_t* exportable = nullptr);
  // A registry value of the container as stored.
  std::optional<Bytes> Raw(const char* valueName) const;
  ContainerKeyPath KeyPath() const { return KeyPathOf(name_.str(), machine_); }

 private:
  const ScopedContainerName& name_;
  DWORD machine_;
};

}  // namespace tvtest
