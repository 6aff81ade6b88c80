// What every backend's session record begins with: where its containers'
// registry keys live. Backends derive their own record from this one.
#pragma once
#include <windows.h>

#include <cstdint>

namespace tv::csp {

struct ContainerLocation {
  HKEY root = nullptr;             // HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER
  const char* basePath = nullptr;  // ends in a backslash; a container's key is basePath + name
};

struct StorageRecord {
  ContainerLocation location;
};

// A pointer or handle in a "%08X" trace field: its low 32 bits.
inline unsigned TraceValue(const void* pointer) {
  return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(pointer));
}

// The machine's containers for a non-zero `machine`, else the user's.
ContainerLocation LocationFor(DWORD machine);

}  // namespace tv::csp
