// Control Panel entry of the key migration tool: one applet, whose double
// click runs the main dialog.
#include <windows.h>
#include <cpl.h>

#include "common/common_controls.h"
#include "common/language.h"
#include "common/trace_log.h"
#include "migration/applet_ids.h"
#include "migration/applet_messages.h"
#include "migration/applet_strings.h"
#include "migration/main_dialog.h"

namespace {

// crypt32.dll is held while the Control Panel keeps the applet open.
HMODULE Crypt32 = nullptr;

void ShowLoadError(const char* library) {
  char text[tv::kTextBufferSize];
  tv::FormatStringMessage(tv::migration::kTextLoadError, text, sizeof text, library);
  MessageBoxA(nullptr, text, tv::migration::AppletTitle(), MB_ICONERROR);
}

LONG Open(HWND window) {
  if (!Crypt32) Crypt32 = LoadLibraryA("crypt32.dll");
  if (!Crypt32) {
    ShowLoadError("crypt32.dll");
    return 0;
  }
  tv::InitCommonControlsOnce();
  tv::migration::RunMainDialog(window);
  return 0;
}

void Describe(CPLINFO* info) {
  info->idIcon = IDI_APPLET;
  info->idName = tv::migration::kTextAppletName;
  info->idInfo = tv::migration::kTextTitle;
  info->lData = 0;
}

}  // namespace

extern "C" {

LONG WINAPI CPlApplet(HWND window, UINT message, LPARAM, LPARAM lParam2) {
  switch (message) {
    case CPL_INIT: tv::WriteLog(tv::LogTrace, "CPlApplet:", "log started ..."); return 1;
    case CPL_GETCOUNT: return 1;
    case CPL_INQUIRE:
      if (lParam2) Describe(reinterpret_cast<CPLINFO*>(lParam2));
      return 0;
    case CPL_DBLCLK: return Open(window);
    case CPL_EXIT:
      if (Crypt32) FreeLibrary(Crypt32);
      Crypt32 = nullptr;
      return 0;
    default: return 0;
  }
}

// DllMain runs under the loader lock: it opens the trace log, binds the
// language resources and loads the title, nothing more. Common controls and
// crypt32 come with the first double click.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    tv::OpenLog("tvmover", instance);
    tv::LoadLanguageModule("tvc", instance);
    tv::migration::LoadAppletTitle();
  } else if (reason == DLL_PROCESS_DETACH) {
    tv::UnloadLanguageModule();
  }
  return TRUE;
}

}  // extern "C"
