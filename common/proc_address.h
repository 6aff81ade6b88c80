// Typed GetProcAddress for functions bound by name at run time.
#pragma once
#include <windows.h>

namespace tv {

template <typename Function>
Function ProcAddress(HMODULE module, const char* name) {
  // Through the generic function type, which converts to any other.
  auto generic = reinterpret_cast<void (*)()>(GetProcAddress(module, name));
  return reinterpret_cast<Function>(generic);
}

}  // namespace tv
