#include "tests/csp/params/scripted_backend.h"

#include <cstring>

namespace tvtest {
namespace {

using tv::csp::StorageRecord;

ScriptedBackend& Of(StorageRecord* storage) { return *reinterpret_cast<ScriptedBackend*>(storage); }

constexpr DWORD kNameBufferSize = 261;

bool Fail(DWORD error) {
  SetLastError(error);
  return false;
}

// The registry backend's contract: a null name asks for the buffer size, a
// short buffer reports the size that suffices, the end of the list leaves 0.
bool Enumerate(StorageRecord* storage, std::int16_t index, char* name, DWORD* length) {
  const std::vector<std::string>& containers = Of(storage).containers;
  if (!name) {
    *length = kNameBufferSize;
    return true;
  }
  if (index < 0 || static_cast<std::size_t>(index) >= containers.size()) {
    *length = 0;
    return Fail(ERROR_NO_MORE_ITEMS);
  }
  const std::string& found = containers[static_cast<std::size_t>(index)];
  if (*length < found.size() + 1) {
    *length = kNameBufferSize;
    return Fail(ERROR_MORE_DATA);
  }
  memcpy(name, found.c_str(), found.size() + 1);
  *length = static_cast<DWORD>(found.size() + 1);
  return true;
}

bool SetSecurity(StorageRecord* storage, PSECURITY_DESCRIPTOR descriptor, SECURITY_INFORMATION information) {
  ScriptedBackend& backend = Of(storage);
  if (backend.refuseSets) return Fail(ERROR_ACCESS_DENIED);
  backend.descriptor = descriptor;
  backend.information = information;
  return true;
}

bool SetPin(StorageRecord* storage, const char* pin) {
  ScriptedBackend& backend = Of(storage);
  if (backend.refuseSets) return Fail(ERROR_ACCESS_DENIED);
  backend.pins.emplace_back(pin);
  return true;
}

bool KeyRandom(StorageRecord*, std::uint8_t* buffer, std::int16_t length) {
  memset(buffer, 0x5A, static_cast<std::size_t>(length));
  return true;
}

bool Succeed(StorageRecord*) { return true; }
bool CloseContainer(StorageRecord*, const std::uint8_t*) { return true; }

constexpr tv::csp::StorageOperations Operations(bool hardwareGenerator) {
  return {
      .letter = 'S',
      .OpenKeyStorage = nullptr,
      .CloseStorage = Succeed,
      .EnumKeyContainers = Enumerate,
      .OpenKeyContainer = nullptr,
      .CreateKeyContainer = nullptr,
      .ContainerExists = nullptr,
      .CloseKeyContainer = CloseContainer,
      .DeleteKeyContainer = nullptr,
      .ReadKeyContainer = nullptr,
      .WriteKeyContainer = nullptr,
      .SetKeySecurity = SetSecurity,
      .GenRandomOnKey = hardwareGenerator ? KeyRandom : nullptr,
      .SetContainerPin = SetPin,
      .IsKeyPresent = Succeed,
  };
}

constinit const tv::csp::StorageOperations kSoftware = Operations(false);
constinit const tv::csp::StorageOperations kWithGenerator = Operations(true);

}  // namespace

void AttachScriptedBackend(tv::csp::ProvContext& context, ScriptedBackend& backend) {
  DetachBackend(context);
  context.storage = reinterpret_cast<StorageRecord*>(&backend);
  context.operations = backend.hardwareGenerator ? &kWithGenerator : &kSoftware;
}

void DetachBackend(tv::csp::ProvContext& context) {
  if (context.storage) context.operations->CloseStorage(context.storage);
  context.storage = nullptr;
  context.operations = nullptr;
}

}  // namespace tvtest
