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

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) tv::OpenLog("tvmover", instance);
  return TRUE;
}

}  // extern "C"
