#include "common/common_controls.h"

#include <windows.h>
#include <commctrl.h>

#include "common/proc_address.h"

namespace tv {
namespace {

BOOL CALLBACK LoadCommonControls(PINIT_ONCE, PVOID, PVOID*) {
  // Loaded by name and never freed: a static import would load it at
  // process attach, under the loader lock.
  HMODULE comctl = LoadLibraryA("comctl32.dll");
  if (!comctl) return TRUE;  // dialogs of standard controls still work
  using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  if (auto init = ProcAddress<InitFunction>(comctl, "InitCommonControlsEx")) {
    const INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    init(&classes);
  }
  return TRUE;
}

}  // namespace

void InitCommonControlsOnce() {
  static INIT_ONCE once = INIT_ONCE_STATIC_INIT;
  InitOnceExecuteOnce(&once, LoadCommonControls, nullptr, nullptr);
}

}  // namespace tv
