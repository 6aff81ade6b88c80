// The registry backend ("R"): a software container kept entirely in its
// registry key, its four key records encrypted with RC4 under a key whose
// secret bytes live in the user's password cache (password_cache.h).
#include <cstring>
#include <new>
#include <utility>

#include "common/trace_log.h"
#include "csp/crypto/cpu/wipe.h"
#include "csp/storage/container_registry.h"
#include "csp/storage/password_cache.h"
#include "csp/storage/protection_stream.h"
#include "csp/storage/registry_slots.h"
#include "csp/storage/registry_values.h"
#include "csp/storage/storage.h"
#include "csp/storage/storage_record.h"

namespace tv::csp {
namespace {

struct RegistryRecord : StorageRecord {
  RegistryKey containerKey;         // the current container's key
  ProtectionKeyBytes protectionKey;  // its cached bytes, zero-filled
  char containerName[kContainerNameBufferSize] = {};

  bool HasContainer() const { return static_cast<bool>(containerKey); }
};

RegistryRecord& Record(StorageRecord* storage) { return *static_cast<RegistryRecord*>(storage); }

// Ends the current container; false when closing its key failed.
bool EndContainer(RegistryRecord& record) {
  const bool closed = record.containerKey.Close();
  record.protectionKey.Clear();
  record.containerName[0] = '\0';
  return closed;
}

// Makes the opened or created container current.
void BeginContainer(RegistryRecord& record, RegistryKey& key, const ProtectionKeyBytes& protection,
                    const char* name) {
  record.containerKey = std::move(key);
  record.protectionKey = protection;
  std::strcpy(record.containerName, name);
}

// A key is a container of this backend when it holds a private record.
bool HoldsPrivateRecord(HKEY key) {
  for (const char* name : {"EPvK", "SPvK"}) {
    DWORD size = 0;
    bool present = false;
    if (!QueryValueSize(key, name, size, present)) return false;
    if (present) return true;
  }
  return FailWith(ERROR_FILE_NOT_FOUND);
}

// Values that only the other backends write: their containers' marks.
bool HoldsOtherBackendsMark(HKEY key) {
  for (const char* name : {"PSKEYS", "ExchTypeSubtype", "SigTypeSubtype", "ESmart", "SSmart"}) {
    DWORD size = 0;
    bool present = false;
    if (QueryValueSize(key, name, size, present) && present) return true;
  }
  return false;
}

// A container of this backend: one that holds a private record, or one
// still without key pairs that carries this backend's own mark, the
// password-cache entry under its name (and no other backend's mark, since
// the entry may belong to the same name in the other root). The entry's
// bytes, when found, become the container's protection key.
bool IsRegistryContainer(HKEY key, const char* name, ProtectionKeyBytes& protection) {
  if (!HoldsPrivateRecord(key)) {
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    if (HoldsOtherBackendsMark(key)) return FailWith(ERROR_FILE_NOT_FOUND);
  }
  return GetContainerPassword(name, protection.bytes);
}

// IsRegistryContainer for OtherRootHolds, which needs no protection bytes.
bool IsNamedRegistryContainer(HKEY key, const char* name) {
  ProtectionKeyBytes protection;
  return IsRegistryContainer(key, name, protection);
}

bool ROpenKeyStorage(StorageRecord** storage, HMODULE instance, DWORD machine, DWORD) {
  WriteLog(LogTrace, "", "ROpenKeyStorage. 1. %08X. %08X. %08X.", TraceValue(storage), TraceValue(instance),
           static_cast<unsigned>(machine));
  if (!storage) return FailWith(ERROR_INVALID_PARAMETER);
  *storage = nullptr;
  auto* record = new (std::nothrow) RegistryRecord();
  if (!record) return FailWith(static_cast<DWORD>(NTE_NO_MEMORY));
  if (!AcquirePasswordCache()) {
    delete record;
    return false;
  }
  record->location = LocationFor(machine);
  *storage = record;
  return true;
}

bool RCloseStorage(StorageRecord* storage) {
  WriteLog(LogTrace, "", "RCloseStorage. 1. %08X.", TraceValue(storage));
  if (!storage) return FailWith(ERROR_INVALID_PARAMETER);
  if (!ReleasePasswordCache()) return false;
  delete &Record(storage);
  return true;
}

bool ROpenKeyContainer(StorageRecord* storage, const char* name, bool forDelete) {
  RegistryRecord& record = Record(storage);
  WriteLog(LogTrace, "", "ROpenKeyContainer. 1. %08X. %s. %08X.", TraceValue(storage), name ? name : "",
           static_cast<unsigned>(forDelete));
  EndContainer(record);
  ContainerPath path;
  RegistryKey key;
  ProtectionKeyBytes protection;
  const bool opened = path.Build(record.location, name) && key.Open(record.location.root, path.Text()) &&
                      IsRegistryContainer(key.Get(), name, protection);
  if (!opened) {
    WriteLog(LogError, "", "ROpenKeyContainer. 2. %08X. %08X. %s.", static_cast<unsigned>(GetLastError()),
             TraceValue(key.Get()), path.Text());
    return false;
  }
  BeginContainer(record, key, protection, name);
  return true;
}

// A password-cache entry already kept under the name (left by a container
// removed without this provider, or by the container of the same name in
// the other root) is used as it is: the bytes that encrypt the records are
// always the bytes a later open reads back, and the other container keeps
// its key.
bool RCreateKeyContainer(StorageRecord* storage, const char* name, const std::uint8_t random[5]) {
  RegistryRecord& record = Record(storage);
  EndContainer(record);
  if (!random) return FailWith(ERROR_INVALID_PARAMETER);
  ContainerPath path;
  RegistryKey key;
  bool created = false;
  if (!path.Build(record.location, name) || !key.Create(record.location.root, path.Text(), created)) return false;
  ProtectionKeyBytes protection;
  if (!GetContainerPassword(name, protection.bytes)) {
    std::memcpy(protection.bytes, random, 5);
    if (!CacheContainerPassword(name, std::span<const std::uint8_t, 5>(random, 5))) {
      const DWORD error = GetLastError();
      key.Close();
      if (created) RegDeleteKeyA(record.location.root, path.Text());
      return FailWith(error);
    }
  }
  BeginContainer(record, key, protection, name);
  return true;
}

bool RCloseKeyContainer(StorageRecord* storage, const std::uint8_t* seed20) {
  RegistryRecord& record = Record(storage);
  WriteLog(LogError, "", "RCloseKeyContainer. 1. %08X. %08X.", TraceValue(storage), TraceValue(seed20));
  if (!record.HasContainer()) return FailWith(ERROR_INVALID_HANDLE);
  const bool stored = !seed20 || WriteBinaryValue(record.containerKey.Get(), "RandSeed", {seed20, 20});
  const bool closed = EndContainer(record);
  return stored && closed;
}

bool RDeleteKeyContainer(StorageRecord* storage) {
  RegistryRecord& record = Record(storage);
  if (!record.HasContainer()) return FailWith(ERROR_INVALID_HANDLE);
  char name[kContainerNameBufferSize];
  std::strcpy(name, record.containerName);
  ContainerPath path;
  if (!path.Build(record.location, name) || !EndContainer(record)) return false;
  const LONG result = RegDeleteKeyA(record.location.root, path.Text());
  if (result != ERROR_SUCCESS) return FailWith(result);
  // The same name in the other root still needs the shared entry.
  return OtherRootHolds(record.location, name, IsNamedRegistryContainer) || RemoveContainerPassword(name);
}

bool RReadKeyContainer(StorageRecord* storage, RecordSlot slot, std::uint8_t* exportable, std::uint8_t* buffer,
                       DWORD* length) {
  RegistryRecord& record = Record(storage);
  if (!record.HasContainer()) return FailWith(ERROR_INVALID_HANDLE);
  return ReadRegistrySlot(record.containerKey.Get(), record.protectionKey.bytes, slot, exportable, buffer, length);
}

// The record is encrypted in a copy; the caller's data stays as it was.
bool RWriteKeyContainer(StorageRecord* storage, RecordSlot slot, std::uint8_t exportable, std::uint8_t* data,
                        DWORD length, DWORD) {
  RegistryRecord& record = Record(storage);
  if (!record.HasContainer()) return FailWith(ERROR_INVALID_HANDLE);
  if (!data && length != 0) return FailWith(ERROR_INVALID_PARAMETER);
  return WriteRegistrySlot(record.containerKey.Get(), record.protectionKey.bytes, slot, exportable, {data, length});
}

bool RSetKeySecurity(StorageRecord* storage, PSECURITY_DESCRIPTOR descriptor, SECURITY_INFORMATION information) {
  RegistryRecord& record = Record(storage);
  if (!record.HasContainer()) return FailWith(ERROR_INVALID_HANDLE);
  return SetRegistryKeySecurity(record.containerKey.Get(), descriptor, information);
}

// There is no Key behind a registry container: no PIN to preset, and it is
// always present.
bool RSetContainerPin(StorageRecord*, const char*) { return true; }
bool RIsKeyPresent(StorageRecord*) { return true; }

constinit const StorageOperations kRegistryStorage = {
    'R',
    ROpenKeyStorage,
    RCloseStorage,
    EnumKeyContainers<'R'>,
    ROpenKeyContainer,
    RCreateKeyContainer,
    ContainerExists,
    RCloseKeyContainer,
    RDeleteKeyContainer,
    RReadKeyContainer,
    RWriteKeyContainer,
    RSetKeySecurity,
    nullptr,  // no hardware random generator
    RSetContainerPin,
    RIsKeyPresent,
};

}  // namespace

const StorageOperations& RegistryStorage() { return kRegistryStorage; }

}  // namespace tv::csp
