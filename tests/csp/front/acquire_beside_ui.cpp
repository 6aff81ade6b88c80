// acquire_beside_ui <delay-ms>: the provider's first load in a process whose
// other thread is busy with the desktop's windows. One thread walks the
// windows in a loop (its first call brings up the display driver, which
// takes some tens of milliseconds); the main thread waits <delay-ms> and
// then acquires a verify-only context, so that the provider's attach meets
// the driver's start-up at different stages. Exit code 0 when the context
// was acquired, else the acquisition's last error.
#include <windows.h>
#include <wincrypt.h>

#include <atomic>
#include <cstdlib>

#include "csp/front/provider_identity.h"

namespace {

HANDLE Start;
std::atomic<bool> Done{false};

BOOL CALLBACK ReadTitle(HWND window, LPARAM) {
  char title[64];
  GetWindowTextA(window, title, sizeof title);
  return TRUE;
}

DWORD WINAPI WalkWindows(LPVOID) {
  WaitForSingleObject(Start, INFINITE);
  while (!Done) EnumWindows(ReadTitle, 0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const DWORD delay = argc > 1 ? static_cast<DWORD>(atoi(argv[1])) : 0;
  Start = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE walker = CreateThread(nullptr, 0, WalkWindows, nullptr, 0, nullptr);
  if (!Start || !walker) return 2;
  SetEvent(Start);
  Sleep(delay);
  HCRYPTPROV context = 0;
  const bool acquired =
      CryptAcquireContextA(&context, nullptr, tv::csp::kProviderName, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
  const DWORD error = acquired ? 0 : GetLastError();
  if (acquired) CryptReleaseContext(context, 0);
  Done = true;
  WaitForSingleObject(walker, INFINITE);
  return acquired ? 0 : (error ? static_cast<int>(error) : 1);
}
