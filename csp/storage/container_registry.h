// Registry routines that all backends share: the container's key path,
// enumeration of container keys, the existence test and key security.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <span>

#include "csp/storage/storage_record.h"

namespace tv::csp {

// Buffer size that holds any container name with its terminating zero; it
// is also the size EnumKeyContainers asks for.
inline constexpr DWORD kContainerNameBufferSize = 261;

// Writes first followed by second into out, zero-terminated; false with
// ERROR_INVALID_PARAMETER for a null text or a result that does not fit.
bool JoinText(std::span<char> out, const char* first, const char* second);

// Key path of a container relative to its root: base path + name.
class ContainerPath {
 public:
  // False with ERROR_INVALID_PARAMETER for a null or too long name.
  bool Build(const ContainerLocation& location, const char* name) {
    return JoinText(text_, location.basePath, name);
  }
  const char* Text() const { return text_; }

 private:
  char text_[64 + kContainerNameBufferSize] = {};
};

// Enumerates the subkeys of root\base (see StorageOperations::
// EnumKeyContainers); failures write their trace lines under the backend's
// letter.
bool EnumerateContainers(const ContainerLocation& location, char letter, std::int16_t index,
                         char* name, DWORD* length);

// The EnumKeyContainers entry of the backend with this trace letter.
template <char Letter>
bool EnumKeyContainers(StorageRecord* storage, std::int16_t index, char* name, DWORD* length) {
  return EnumerateContainers(storage->location, Letter, index, name, length);
}

// True when the other root (the machine's for the user's, the user's for
// the machine's) has a key of the same name that `isContainer` accepts.
// Leaves the thread's last error as it was.
bool OtherRootHolds(const ContainerLocation& location, const char* name,
                    bool (*isContainer)(HKEY key, const char* name));

// True when root\base<name> opens; shared by the three backends.
bool ContainerExists(StorageRecord* storage, const char* name);

// RegSetKeySecurity on a container's key; the software backends' entry.
bool SetRegistryKeySecurity(HKEY key, PSECURITY_DESCRIPTOR descriptor, SECURITY_INFORMATION information);

}  // namespace tv::csp
