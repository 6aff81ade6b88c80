// Shared steps of binding an outside library by name: resolve each export
// into a typed slot, in order, stopping at the first one that is missing.
#pragma once
#include <windows.h>

#include "common/proc_address.h"

namespace tv::token {

class ExportResolver {
 public:
  explicit ExportResolver(HMODULE module) : module_(module) {}

  // Fills `slot` unless an earlier name was missing; a missing name leaves
  // GetProcAddress's error as the last error.
  template <typename Function>
  void operator()(Function& slot, const char* name) {
    if (ok_) {
      slot = ProcAddress<Function>(module_, name);
      ok_ = slot != nullptr;
    }
  }
  // False once any name was missing.
  bool Ok() const { return ok_; }

 private:
  HMODULE module_;
  bool ok_ = true;
};

// Frees `module` keeping the last error that made the binding fail.
inline void FreeAfterFailedBinding(HMODULE module) {
  const DWORD error = GetLastError();
  FreeLibrary(module);
  SetLastError(error);
}

}  // namespace tv::token
