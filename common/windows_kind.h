// The Windows versions the product recognises, from GetVersionExA.
#pragma once

namespace tv {

// 1 Windows 95, 2 Windows 98, 3 Windows ME, 4 Windows NT, 5 Windows 2000,
// 6 Windows XP, 7 Windows 2003, 8 Windows Vista, 0 any other.
int GetWindowsKind();
// Kind from the version numbers (the pure part of GetWindowsKind).
int WindowsKindOf(unsigned platformId, unsigned major, unsigned minor);
const char* WindowsKindName(int kind);

}  // namespace tv
