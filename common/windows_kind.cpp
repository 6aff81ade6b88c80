#include "common/windows_kind.h"

#include <windows.h>

namespace tv {

int WindowsKindOf(unsigned platformId, unsigned major, unsigned minor) {
  constexpr unsigned kWin9x = VER_PLATFORM_WIN32_WINDOWS, kNt = VER_PLATFORM_WIN32_NT;
  if (platformId == kWin9x && major == 4) {
    if (minor == 0) return 1;
    if (minor == 10) return 2;
    if (minor == 90) return 3;
    return 4;
  }
  if (platformId == kWin9x && major < 4) return 4;
  if (platformId == kNt && major <= 4) return 4;
  if (platformId != kWin9x && platformId != kNt) return 0;
  if (major == 5 && minor == 0) return 5;
  if (major == 5 && minor == 1) return 6;
  if (major == 5 && minor == 2) return 7;
  if (major == 6 && minor == 0) return 8;
  return 0;
}

int GetWindowsKind() {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(&info)) return 0;
#pragma GCC diagnostic pop
  return WindowsKindOf(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
}

const char* WindowsKindName(int kind) {
  static const char* const names[] = {
      "Unknown",    "Windows 95", "Windows 98",   "Windows ME",
      "Windows NT", "Windows 2000", "Windows XP", "Windows 2003",
      "Windows Vista code name \"Longhorn\""};
  return (kind >= 0 && kind <= 8) ? names[kind] : names[0];
}

}  // namespace tv
