// Process and thread attach and detach of the provider.
//
// DllMain runs under the loader lock. It must do nothing that can wait for
// another thread: no loading of system libraries that bring up the user
// interface (comctl32, shell32, ...), no window or message calls, no thread
// creation or waiting. Another thread of the host may be starting its
// display driver and waiting for that lock; the host would hang for good.
// Only our own libraries (runtime library, language module) are bound here,
// because the load must fail when they are missing. The common controls are
// loaded by the first dialog (common/common_controls.h).
#include <windows.h>

#include <string>

#include "common/language.h"
#include "common/trace_log.h"
#include "csp/front/process_state.h"
#include "csp/front/provider_identity.h"
#include "csp/front/random/thread_instance.h"
#include "csp/front/runtime_binding.h"
#include "csp/storage/key_backend.h"

using namespace tv::csp;

namespace {

bool Attached;

BOOL RefuseToLoad(HINSTANCE instance) {
  const DWORD error = GetLastError();
  tv::WriteLog(tv::LogError, "", "DllMain. 1. %08X. %08X.", static_cast<unsigned>(error),
               static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(instance)));
  SetLastError(error);
  return FALSE;
}

BOOL ProcessAttach(HINSTANCE instance) {
  tv::OpenLog("csp", instance);
  if (!tv::LoadLanguageModule("tvc", instance)) return RefuseToLoad(instance);
  if (!BindRuntimeLibrary()) return RefuseToLoad(instance);

  ModuleInstance = instance;
  tv::WriteLog(tv::LogTrace, "", "DllMain. 2. %08X. %08X.", 1u,
               static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(instance)));

  const std::string section = ConfigSectionName(kProviderDisplayName, kMakerName);
  ReadConfigValue(section, "Mode", StorageMode);
  tv::csp::SetKeyDiskRedirection(StorageMode == 1);

  InitializeProcessState();
  Attached = true;
  return TRUE;
}

void ProcessDetach() {
  if (!Attached) return;
  ReleaseThreadInstance();
  ReleaseProcessState();
  Attached = false;
  const DWORD error = LastProviderError.load();
  if (error != 0) {
    tv::WriteLog(tv::LogTrace, "", "DllMain. 3. %08X. %08X.", 0u, static_cast<unsigned>(error));
    SetLastError(error);
  }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  const auto module = static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(instance));
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      return ProcessAttach(instance);
    case DLL_PROCESS_DETACH:
      ProcessDetach();
      return TRUE;
    case DLL_THREAD_ATTACH:
      tv::WriteLog(tv::LogTrace, "", "DllMain. 4. %08X. %08X. %08X.", 2u, module,
                   static_cast<unsigned>(GetCurrentThreadId()));
      return TRUE;
    case DLL_THREAD_DETACH:
      tv::WriteLog(tv::LogTrace, "", "DllMain. 5. %08X. %08X.", 3u, module);
      ReleaseThreadInstance();  // the thread's generator and arithmetic state, wiped
      return TRUE;
    default:
      return TRUE;
  }
}
