#include "memory_container.h"

#include <cstring>

namespace tvtest {
namespace {

using tv::csp::RecordSlot;
using tv::csp::StorageRecord;

MemoryContainer& Of(StorageRecord* storage) { return *reinterpret_cast<MemoryContainer*>(storage); }

bool Fail(DWORD error) {
  SetLastError(error);
  return false;
}

bool Read(StorageRecord* storage, RecordSlot slot, std::uint8_t* exportable, std::uint8_t* buffer, DWORD* length) {
  MemoryContainer& container = Of(storage);
  const auto found = container.records.find(slot);
  if (found == container.records.end()) return Fail(0);
  if (container.readError) return Fail(container.readError);
  const StoredRecord& record = found->second;
  if (buffer) {
    if (*length < record.bytes.size()) return Fail(ERROR_MORE_DATA);
    memcpy(buffer, record.bytes.data(), record.bytes.size());
    *exportable = record.exportable;
    ++container.recordReads;
  }
  *length = static_cast<DWORD>(record.bytes.size());
  return true;
}

bool Write(StorageRecord* storage, RecordSlot slot, std::uint8_t exportable, std::uint8_t* data, DWORD length,
           DWORD) {
  MemoryContainer& container = Of(storage);
  if (container.writeError) return Fail(container.writeError);
  container.records[slot] = {exportable, std::vector<std::uint8_t>(data, data + length)};
  return true;
}

bool KeyPresent(StorageRecord* storage) {
  MemoryContainer& container = Of(storage);
  ++container.presenceQueries;
  return container.keyPresent;
}

bool Succeed(StorageRecord*) { return true; }
bool CloseContainer(StorageRecord*, const std::uint8_t*) { return true; }

const tv::csp::StorageOperations kMemoryOperations = {
    .letter = 'M',
    .OpenKeyStorage = nullptr,
    .CloseStorage = Succeed,
    .EnumKeyContainers = nullptr,
    .OpenKeyContainer = nullptr,
    .CreateKeyContainer = nullptr,
    .ContainerExists = nullptr,
    .CloseKeyContainer = CloseContainer,
    .DeleteKeyContainer = nullptr,
    .ReadKeyContainer = Read,
    .WriteKeyContainer = Write,
    .SetKeySecurity = nullptr,
    .GenRandomOnKey = nullptr,
    .SetContainerPin = nullptr,
    .IsKeyPresent = KeyPresent,
};

}  // namespace

void AttachMemoryContainer(tv::csp::ProvContext& context, MemoryContainer& container) {
  if (context.storage) context.operations->CloseStorage(context.storage);
  context.storage = reinterpret_cast<StorageRecord*>(&container);
  context.operations = &kMemoryOperations;
  context.verifyOnly = false;
}

}  // namespace tvtest
