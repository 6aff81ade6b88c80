// The wait cursor while a long operation runs; the cursor it replaced (or
// the arrow) comes back on every path, leaving the last error as it was.
#pragma once
#include <windows.h>

namespace tv {

class WaitCursor {
 public:
  WaitCursor() : previous_(SetCursor(LoadCursor(nullptr, IDC_WAIT))) {}
  ~WaitCursor() {
    const DWORD error = GetLastError();
    SetCursor(previous_ ? previous_ : LoadCursor(nullptr, IDC_ARROW));
    SetLastError(error);
  }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  HCURSOR previous_;
};

}  // namespace tv
