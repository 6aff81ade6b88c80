// Control Panel applet entry of the key migration tool. The dialogs and the
// migration come later: the applet reports no dialogs to the Control Panel.
#include <windows.h>
#include <cpl.h>

#include "common/trace_log.h"

extern "C" {

LONG WINAPI CPlApplet(HWND, UINT message, LPARAM, LPARAM) {
  switch (message) {
    case CPL_INIT: return TRUE;
    case CPL_GETCOUNT: return 0;
    default: return 0;
  }
}

// DllMain runs under the loader lock: it opens the trace log and nothing
// more. No loading of libraries that bring up the user interface, no
// windows, no threads: work of that kind starts on the first call that needs
// it (see common/common_controls.h).
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) tv::OpenLog("tvmover", instance);
  return TRUE;
}

}  // extern "C"
