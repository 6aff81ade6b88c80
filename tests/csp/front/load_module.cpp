// load_module <dll>: loads a DLL (and lets one more thread attach to it);
// exit code 0 when it loaded, else the load's last error.
#include <windows.h>

#include <cstdio>

DWORD WINAPI DoNothing(LPVOID) { return 0; }

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  HMODULE module = LoadLibraryA(argv[1]);
  if (!module) {
    const DWORD error = GetLastError();
    printf("load failed: %lu\n", error);
    return error ? static_cast<int>(error) : 1;
  }
  HANDLE thread = CreateThread(nullptr, 0, DoNothing, nullptr, 0, nullptr);
  if (thread) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
  FreeLibrary(module);
  return 0;
}
