// Certificate store provider entry and self-registration. The store
// callbacks and the Key's certificates are not part of this build yet: the
// provider refuses to open and registers nothing.
#include <windows.h>
#include <wincrypt.h>

#include "common/trace_log.h"

extern "C" {

BOOL WINAPI tvCertOpenStoreProv(LPCSTR, DWORD, HCRYPTPROV_LEGACY, DWORD, const void*, HCERTSTORE,
                                PCERT_STORE_PROV_INFO) {
  tv::WriteLog(tv::LogError, "tvCertOpenStoreProv:", "not available");
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return FALSE;
}

HRESULT WINAPI DllRegisterServer() { return E_NOTIMPL; }
HRESULT WINAPI DllUnregisterServer() { return E_NOTIMPL; }

// DllMain runs under the loader lock: it opens the trace log and nothing
// more. No loading of libraries that bring up the user interface, no
// windows, no threads: work of that kind starts on the first call that needs
// it (see common/common_controls.h).
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) tv::OpenLog("cstore", instance);
  return TRUE;
}

}  // extern "C"
