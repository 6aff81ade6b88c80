#include "csp/storage/container_registry.h"

#include <cstring>

#include "common/trace_log.h"
#include "csp/storage/registry_values.h"

namespace tv::csp {

ContainerLocation LocationFor(DWORD machine) {
  if (machine) return {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Cryptography\\MachineKeys\\"};
  return {HKEY_CURRENT_USER, "Software\\Microsoft\\Cryptography\\UserKeys\\"};
}

bool JoinText(std::span<char> out, const char* first, const char* second) {
  if (!first || !second) return FailWith(ERROR_INVALID_PARAMETER);
  const std::size_t firstLength = std::strlen(first);
  const std::size_t secondLength = std::strlen(second);
  if (firstLength + secondLength >= out.size()) return FailWith(ERROR_INVALID_PARAMETER);
  std::memcpy(out.data(), first, firstLength);
  std::memcpy(out.data() + firstLength, second, secondLength + 1);
  return true;
}

bool EnumerateContainers(const ContainerLocation& location, char letter, std::int16_t index,
                         char* name, DWORD* length) {
  if (!length) return FailWith(ERROR_INVALID_PARAMETER);
  RegistryKey base;
  if (!base.Open(location.root, location.basePath)) {
    const DWORD error = GetLastError();
    WriteLog(LogError, "", "%cEnumKeyContainers. 2. %08X.", letter, static_cast<unsigned>(error));
    *length = 0;
    return FailWith(error);
  }
  if (!name) {
    *length = kContainerNameBufferSize;
    return true;
  }
  DWORD characters = *length;
  const LONG result = index < 0 ? ERROR_NO_MORE_ITEMS
                                : RegEnumKeyExA(base.Get(), static_cast<DWORD>(index), name, &characters,
                                                nullptr, nullptr, nullptr, nullptr);
  if (result == ERROR_SUCCESS) {
    *length = characters + 1;
    return true;
  }
  // A name that does not fit reports the size that suffices, so that the
  // caller can tell a short buffer from the end of the list.
  *length = result == ERROR_MORE_DATA ? kContainerNameBufferSize : 0;
  WriteLog(LogError, "", "%cEnumKeyContainers. 5. %08X.", letter, 1u);
  return FailWith(result);
}

bool OtherRootHolds(const ContainerLocation& location, const char* name,
                    bool (*isContainer)(HKEY key, const char* name)) {
  const ContainerLocation other = LocationFor(location.root == HKEY_CURRENT_USER);
  ContainerPath path;
  RegistryKey key;
  const DWORD error = GetLastError();
  const bool held = path.Build(other, name) && key.Open(other.root, path.Text()) && isContainer(key.Get(), name);
  SetLastError(error);
  return held;
}

bool ContainerExists(StorageRecord* storage, const char* name) {
  ContainerPath path;
  if (!path.Build(storage->location, name)) return false;
  RegistryKey key;
  return key.Open(storage->location.root, path.Text()) && key.Close();
}

bool SetRegistryKeySecurity(HKEY key, PSECURITY_DESCRIPTOR descriptor, SECURITY_INFORMATION information) {
  const LONG result = RegSetKeySecurity(key, information, descriptor);
  return result == ERROR_SUCCESS || FailWith(result);
}

}  // namespace tv::csp
