#include "tests/csp/storage/container_fixture.h"

#include <gtest/gtest.h>

#include <utility>

#include "tests/support/isolation.h"

namespace tvtest {
namespace {

using GetCached = DWORD(WINAPI*)(LPSTR, WORD, LPSTR, LPWORD, BYTE);
using Cache = DWORD(WINAPI*)(LPSTR, WORD, LPSTR, WORD, BYTE, WORD);
using RemoveCached = DWORD(WINAPI*)(LPSTR, WORD, BYTE);

HMODULE Mpr() {
  static const HMODULE library = LoadLibraryA("mpr.dll");
  return library;
}

template <typename Function>
Function MprFunction(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(Mpr(), name)));
}

std::string Resource(const std::string& containerName) { return "crypt_" + containerName; }

}  // namespace

ContainerKeyPath KeyPathOf(const std::string& name, DWORD machine) {
  if (machine) return {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Cryptography\\MachineKeys\\" + name};
  return {HKEY_CURRENT_USER, "Software\\Microsoft\\Cryptography\\UserKeys\\" + name};
}

std::optional<Bytes> RegistryValue(const ContainerKeyPath& key, const char* valueName) {
  DWORD size = 0;
  if (RegGetValueA(key.root, key.path.c_str(), valueName, RRF_RT_ANY, nullptr, nullptr, &size) != ERROR_SUCCESS)
    return std::nullopt;
  Bytes bytes(size);
  if (RegGetValueA(key.root, key.path.c_str(), valueName, RRF_RT_ANY, nullptr, bytes.data(), &size) != ERROR_SUCCESS)
    return std::nullopt;
  bytes.resize(size);
  return bytes;
}

bool RegistryKeyExists(const ContainerKeyPath& key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(key.root, key.path.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

std::optional<Bytes> CachedPassword(const std::string& containerName) {
  std::string resource = Resource(containerName);
  Bytes password(64);
  WORD length = static_cast<WORD>(password.size());
  const DWORD result = MprFunction<GetCached>("WNetGetCachedPassword")(
      resource.data(), static_cast<WORD>(resource.size()), reinterpret_cast<LPSTR>(password.data()), &length, 6);
  if (result != 0) return std::nullopt;
  password.resize(length);
  return password;
}

bool CachePassword(const std::string& containerName, const Bytes& password) {
  std::string resource = Resource(containerName);
  Bytes copy = password;
  return MprFunction<Cache>("WNetCachePassword")(resource.data(), static_cast<WORD>(resource.size()),
                                                 reinterpret_cast<LPSTR>(copy.data()),
                                                 static_cast<WORD>(copy.size()), 6, 0) == 0;
}

void RemoveCachedPassword(const std::string& containerName) {
  std::string resource = Resource(containerName);
  MprFunction<RemoveCached>("WNetRemoveCachedPassword")(resource.data(), static_cast<WORD>(resource.size()), 6);
}

Bytes Rc4Keystream(const Bytes& key, std::size_t length) {
  std::uint8_t s[256];
  for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + key[i % key.size()]) & 0xff;
    std::swap(s[i], s[j]);
  }
  Bytes stream(length);
  for (std::size_t k = 0, i = 0, j = 0; k < length; ++k) {
    i = (i + 1) & 0xff;
    j = (j + s[i]) & 0xff;
    std::swap(s[i], s[j]);
    stream[k] = s[(s[i] + s[j]) & 0xff];
  }
  return stream;
}

Bytes Xor(const Bytes& a, const Bytes& b, std::size_t bOffset) {
  EXPECT_LE(bOffset + a.size(), b.size());
  Bytes out(a);
  for (std::size_t i = 0; i < out.size() && bOffset + i < b.size(); ++i) out[i] ^= b[bOffset + i];
  return out;
}

ScopedContainerName::ScopedContainerName() : name_(UniqueName("tvstorage-")) {}

ScopedContainerName::~ScopedContainerName() {
  for (DWORD machine : {0u, 1u}) {
    const ContainerKeyPath key = KeyPathOf(name_, machine);
    DeleteRegistryTree(key.root, key.path);
  }
  RemoveCachedPassword(name_);
}

RegistryContainer::RegistryContainer(const ScopedContainerName& name, DWORD machine)
    : name_(name), machine_(machine) {
  EXPECT_TRUE(ops.OpenKeyStorage(&storage, GetModuleHandleA(nullptr), machine, 0));
}

RegistryContainer::~RegistryContainer() {
  if (storage) {
    EXPECT_TRUE(ops.CloseStorage(storage));
  }
}

bool RegistryContainer::Create(const Bytes& protection) {
  return ops.CreateKeyContainer(storage, name_.c_str(), protection.data());
}

bool RegistryContainer::Open(bool forDelete) { return ops.OpenKeyContainer(storage, name_.c_str(), forDelete); }

bool RegistryContainer::Close(const std::uint8_t* seed) { return ops.CloseKeyContainer(storage, seed); }

bool RegistryContainer::Write(tv::csp::RecordSlot slot, Bytes record, std::uint8_t exportable) {
  return ops.WriteKeyContainer(storage, slot, exportable, record.data(), static_cast<DWORD>(record.size()), 0);
}

std::optional<Bytes> RegistryContainer::Read(tv::csp::RecordSlot slot, std::uint8_t* exportable) {
  DWORD length = 0;
  std::uint8_t flag = 0xEE;
  if (!ops.ReadKeyContainer(storage, slot, &flag, nullptr, &length)) return std::nullopt;
  Bytes record(length);
  if (!ops.ReadKeyContainer(storage, slot, &flag, record.data(), &length)) return std::nullopt;
  record.resize(length);
  if (exportable) *exportable = flag;
  return record;
}

std::optional<Bytes> RegistryContainer::Raw(const char* valueName) const {
  return RegistryValue(KeyPath(), valueName);
}

}  // namespace tvtest
