// The Protected Storage backend ("P"): a software container kept in two
// places. Its registry key holds the public records ("EPbK", "SPbK"),
// obscured with a keystream keyed by the container's tag, the exportable
// flags, "RandSeed", the mark "PSKEYS" and, per private record, the item
// type and subtype that name it ("ExchTypeSubtype", "SigTypeSubtype"). The
// private records themselves are items of the platform's Protected Storage
// (protected_storage_service.h), named by the container's name.
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "common/trace_log.h"
#include "csp/storage/container_registry.h"
#include "csp/storage/container_tag.h"
#include "csp/storage/item_block.h"
#include "csp/storage/protected_storage_service.h"
#include "csp/storage/protection_stream.h"
#include "csp/storage/registry_slots.h"
#include "csp/storage/registry_value_batch.h"
#include "csp/storage/registry_values.h"
#include "csp/storage/storage.h"
#include "csp/storage/storage_record.h"
#include "csp/storage/stored_key_record.h"

namespace tv::csp {
namespace {

constexpr const char* kContainerMark = "PSKEYS";
// The item type followed by the subtype: the value naming a private item.
constexpr std::size_t kItemIdentitySize = 2 * sizeof(GUID);

struct ProtectedRecord : StorageRecord {
  RegistryKey containerKey;          // the current container's key
  ProtectionKeyBytes protectionKey;  // its tag, zero-filled
  char containerName[kContainerNameBufferSize] = {};
  wchar_t itemName[kContainerNameBufferSize] = {};  // the name of its items

  bool HasContainer() const { return static_cast<bool>(containerKey); }
};

ProtectedRecord& Record(StorageRecord* storage) { return *static_cast<ProtectedRecord*>(storage); }

bool IsPrivateSlot(RecordSlot slot) {
  return slot == RecordSlot::ExchangePrivate || slot == RecordSlot::SignaturePrivate;
}

const char* ItemIdentityName(RecordSlot slot) {
  return slot == RecordSlot::ExchangePrivate ? "ExchTypeSubtype" : "SigTypeSubtype";
}

const GUID& ItemSubtype(RecordSlot slot) {
  return slot == RecordSlot::ExchangePrivate ? kExchangeKeySubtype : kSignatureKeySubtype;
}

// The public record stored beside a private slot's item.
const char* PublicValueName(RecordSlot slot) { return slot == RecordSlot::ExchangePrivate ? "EPbK" : "SPbK"; }

bool FailWithResult(HRESULT result) { return FailWith(static_cast<DWORD>(result)); }

// Ends the current container; false when closing its key failed.
bool EndContainer(ProtectedRecord& record) {
  const bool closed = record.containerKey.Close();
  record.protectionKey.Clear();
  record.containerName[0] = '\0';
  record.itemName[0] = L'\0';
  return closed;
}

// Makes the opened or created container current: its key, its protection
// key (the tag of its name) and the name of its items.
bool BeginContainer(ProtectedRecord& record, RegistryKey& key, const char* name) {
  if (std::strlen(name) >= kContainerNameBufferSize) return FailWith(ERROR_INVALID_PARAMETER);
  // Never more characters than bytes: the item name fits, terminated.
  if (std::mbstowcs(record.itemName, name, kContainerNameBufferSize) == static_cast<std::size_t>(-1))
    return FailWith(ERROR_INVALID_PARAMETER);
  if (!ContainerTag(name, std::span<std::uint8_t, kContainerTagSize>(record.protectionKey.bytes, kContainerTagSize)))
    return false;
  record.containerKey = std::move(key);
  std::strcpy(record.containerName, name);
  return true;
}

bool HasValue(HKEY key, const char* name, bool& present) {
  DWORD size = 0;
  return QueryValueSize(key, name, size, present);
}

// A key is a container of this backend when it names a private item, or
// carries the backend's mark (a container still without key pairs).
bool IsProtectedStorageContainer(HKEY key, const char* /*name*/) {
  for (const char* name : {"ExchTypeSubtype", "SigTypeSubtype", kContainerMark}) {
    bool present = false;
    if (!HasValue(key, name, present)) return false;
    if (present) return true;
  }
  return FailWith(ERROR_FILE_NOT_FOUND);
}

bool POpenKeyStorage(StorageRecord** storage, HMODULE instance, DWORD machine, DWORD) {
  WriteLog(LogTrace, "", "POpenKeyStorage. 1. %08X. %08X. %08X.", TraceValue(storage), TraceValue(instance),
           static_cast<unsigned>(machine));
  if (!storage) return FailWith(ERROR_INVALID_PARAMETER);
  *storage = nullptr;
  auto* record = new (std::nothrow) ProtectedRecord();
  if (!record) return FailWith(static_cast<DWORD>(NTE_NO_MEMORY));
  if (!AcquireProtectedStorage()) {
    delete record;
    return false;
  }
  record->location = LocationFor(machine);
  *storage = record;
  return true;
}

bool PCloseStorage(StorageRecord* storage) {
  WriteLog(LogTrace, "", "PCloseStorage. 1. %08X.", TraceValue(storage));
  if (!storage) return FailWith(ERROR_INVALID_PARAMETER);
  if (!ReleaseProtectedStorage()) return false;
  delete &Record(storage);
  return true;
}

bool POpenKeyContainer(StorageRecord* storage, const char* name, bool forDelete) {
  ProtectedRecord& record = Record(storage);
  WriteLog(LogTrace, "", "POpenKeyContainer. 1. %08X. %s. %08X.", TraceValue(storage), name ? name : "",
           static_cast<unsigned>(forDelete));
  EndContainer(record);
  ContainerPath path;
  RegistryKey key;
  const bool opened = path.Build(record.location, name) && key.Open(record.location.root, path.Text()) &&
                      IsProtectedStorageContainer(key.Get(), name) && BeginContainer(record, key, name);
  if (!opened) {
    WriteLog(LogError, "", "POpenKeyContainer. 2. %08X. %08X. %s.", static_cast<unsigned>(GetLastError()),
             TraceValue(key.Get()), path.Text());
    return false;
  }
  return true;
}

// The items of a container are named by its name alone, so the user's and
// the machine's container of one name would share them: each would
// overwrite or delete the other's private keys.
bool SharesItemsWithOtherRoot(const ProtectedRecord& record, const char* name) {
  return OtherRootHolds(record.location, name, IsProtectedStorageContainer);
}

// The item type and subtypes are made once per service and then reused;
// they stay when the container is deleted. A name whose items are taken by
// the other root's container is refused with NTE_EXISTS.
bool PCreateKeyContainer(StorageRecord* storage, const char* name, const std::uint8_t*) {
  ProtectedRecord& record = Record(storage);
  EndContainer(record);
  if (SharesItemsWithOtherRoot(record, name)) return FailWith(static_cast<DWORD>(NTE_EXISTS));
  ContainerPath path;
  RegistryKey key;
  bool created = false;
  if (!path.Build(record.location, name) || !key.Create(record.location.root, path.Text(), created)) return false;
  const HRESULT types = CreateKeyItemTypes();
  const std::uint8_t mark[4] = {1, 0, 0, 0};
  const bool made = (types == S_OK || FailWithResult(types)) && WriteBinaryValue(key.Get(), kContainerMark, mark) &&
                    BeginContainer(record, key, name);
  if (made) return true;
  const DWORD error = GetLastError();
  key.Close();
  if (created) RegDeleteKeyA(record.location.root, path.Text());
  return FailWith(error);
}

bool PCloseKeyContainer(StorageRecord* storage, const std::uint8_t* seed20) {
  ProtectedRecord& record = Record(storage);
  WriteLog(LogTrace, "", "PCloseKeyContainer. 1. %08X. %08X.", TraceValue(storage), TraceValue(seed20));
  if (!record.HasContainer()) return FailWith(ERROR_INVALID_HANDLE);
  const bool stored = !seed20 || WriteBinaryValue(record.containerKey.Get(), "RandSeed", {seed20, 20});
  const bool closed = EndContainer(record);
  return stored && closed;
}

// An item that is already gone counts as deleted.
bool DeleteItem(const GUID& subtype, const wchar_t* name) {
  const HRESULT result = DeleteKeyItem(subtype, name);
  return result == S_OK || result == kItemNoExists || result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
         FailWithResult(result);
}

// The items go first: a container whose item could not be deleted keeps
// its registry key, so that it can still be found and deleted again. Items
// that the other root's container of the same name uses stay.
bool PDeleteKeyContainer(StorageRecord* storage) {
  ProtectedRecord& record = Record(storage);
  if (!record.HasContainer()) return FailWith(ERROR_INVALID_HANDLE);
  ContainerPath path;
  if (!path.Build(record.location, record.containerName)) return false;
  const bool itemsDeleted =
      SharesItemsWithOtherRoot(record, record.containerName) ||
      (DeleteItem(kSignatureKeySubtype, record.itemName) && DeleteItem(kExchangeKeySubtype, record.itemName));
  const DWORD error = GetLastError();
  if (!EndContainer(record)) return false;
  if (!itemsDeleted) return FailWith(error);
  const LONG result = RegDeleteKeyA(record.location.root, path.Text());
  return result == ERROR_SUCCESS || FailWith(result);
}

// Size answer for a private slot: five times the pair's public record,
// which always covers the private record.
bool PrivateRecordSizeBound(HKEY container, RecordSlot slot, DWORD* length) {
  DWORD size = 0;
  bool present = false;
  if (!QueryValueSize(container, PublicValueName(slot), size, present)) return false;
  if (!present) return FailWith(0);
  *length = 5 * size;
  return true;
}

// The item type and subtype stored for a private slot.
bool ReadItemIdentity(HKEY container, RecordSlot slot, GUID& type, GUID& subtype) {
  crypto::WipingBuffer identity;
  bool present = false;
  if (!ReadValue(container, ItemIdentityName(slot), kItemIdentitySize, identity, present)) return false;
  if (!present) return FailWith(0);
  if (identity.Size() != kItemIdentitySize) return FailWith(static_cast<DWORD>(NTE_KEYSET_ENTRY_BAD));
  std::memcpy(&type, identity.Data(), sizeof type);
  std::memcpy(&subtype, identity.Data() + sizeof type, sizeof subtype);
  return true;
}

// A private record from its item. The item must be a whole ItemBlock whose
// record fits the caller's buffer; nothing outside the item is read.
bool ReadPrivateRecord(const ProtectedRecord& record, RecordSlot slot, std::uint8_t* exportable,
                       std::uint8_t* buffer, DWORD* length) {
  HKEY container = record.containerKey.Get();
  GUID type, subtype;
  std::uint8_t flag = 0;
  if (!ReadItemIdentity(container, slot, type, subtype) || !ReadExportFlag(container, slot, flag)) return false;
  ServiceItem item;
  const HRESULT result = ReadKeyItem(type, subtype, record.itemName, item);
  if (result != S_OK) return FailWithResult(result);
  std::span<const std::uint8_t> stored;
  if (!ItemBlockRecord(item.Bytes(), stored)) return false;
  if (stored.size() > *length) {
    *length = static_cast<DWORD>(stored.size());
    return FailWith(ERROR_MORE_DATA);
  }
  std::memcpy(buffer, stored.data(), stored.size());
  *length = static_cast<DWORD>(stored.size());
  if (exportable) *exportable = flag;
  return true;
}

bool PReadKeyContainer(StorageRecord* storage, RecordSlot slot, std::uint8_t* exportable, std::uint8_t* buffer,
                       DWORD* length) {
  ProtectedRecord& record = Record(storage);
  if (!record.HasContainer()) return FailWith(ERROR_INVALID_HANDLE);
  if (!length) return FailWith(ERROR_INVALID_PARAMETER);
  if (!IsPrivateSlot(slot))
    return ReadRegistrySlot(record.containerKey.Get(), record.protectionKey.bytes, slot, exportable, buffer, length,
                            kPublicSlotValues);
  if (!buffer) return PrivateRecordSizeBound(record.containerKey.Get(), slot, length);
  return ReadPrivateRecord(record, slot, exportable, buffer, length);
}

// The flag and the item's name are written with the item: when the
// service refuses the item, they get back what they held.
bool WritePrivateRecord(const ProtectedRecord& record, RecordSlot slot, std::uint8_t exportable,
                        std::span<const std::uint8_t> data, DWORD userProtected) {
  crypto::WipingBuffer block;
  if (!BuildItemBlock(data, block)) return false;
  std::uint8_t identity[kItemIdentitySize];
  std::memcpy(identity, &kKeyItemType, sizeof(GUID));
  std::memcpy(identity + sizeof(GUID), &ItemSubtype(slot), sizeof(GUID));
  RegistryValueBatch batch(record.containerKey.Get(), kItemIdentitySize);
  if (!batch.Set(ExportFlagName(slot), {&exportable, 1}) || !batch.Set(ItemIdentityName(slot), identity))
    return false;
  const DWORD style = userProtected ? kConfirmDefault : kConfirmNone;
  const HRESULT result = WriteKeyItem(ItemSubtype(slot), record.itemName, {block.Data(), block.Size()}, style);
  if (result != S_OK) return FailWithResult(result);
  batch.Commit();
  return true;
}

// Records are written from copies; the caller's data stays as it was.
bool PWriteKeyContainer(StorageRecord* storage, RecordSlot slot, std::uint8_t exportable, std::uint8_t* data,
                        DWORD length, DWORD userProtected) {
  ProtectedRecord& record = Record(storage);
  if (!record.HasContainer()) return FailWith(ERROR_INVALID_HANDLE);
  if ((!data && length != 0) || length > kMaxStoredKeyRecordSize) return FailWith(ERROR_INVALID_PARAMETER);
  if (!IsPrivateSlot(slot))
    return WriteRegistrySlot(record.containerKey.Get(), record.protectionKey.bytes, slot, exportable, {data, length},
                             kPublicSlotValues);
  return WritePrivateRecord(record, slot, exportable, {data, length}, userProtected);
}

bool PSetKeySecurity(StorageRecord* storage, PSECURITY_DESCRIPTOR descriptor, SECURITY_INFORMATION information) {
  ProtectedRecord& record = Record(storage);
  if (!record.HasContainer()) return FailWith(ERROR_INVALID_HANDLE);
  return SetRegistryKeySecurity(record.containerKey.Get(), descriptor, information);
}

// There is no Key behind a Protected Storage container: no PIN to preset,
// and it is always present.
bool PSetContainerPin(StorageRecord*, const char*) { return true; }
bool PIsKeyPresent(StorageRecord*) { return true; }

constinit const StorageOperations kProtectedStorage = {
    'P',
    POpenKeyStorage,
    PCloseStorage,
    EnumKeyContainers<'P'>,
    POpenKeyContainer,
    PCreateKeyContainer,
    ContainerExists,
    PCloseKeyContainer,
    PDeleteKeyContainer,
    PReadKeyContainer,
    PWriteKeyContainer,
    PSetKeySecurity,
    nullptr,  // no hardware random generator
    PSetContainerPin,
    PIsKeyPresent,
};

}  // namespace

const StorageOperations& ProtectedStorage() { return kProtectedStorage; }

}  // namespace tv::csp
