// A password-cache library without WNetGetCachedPassword, for the binding
// tests. The functions it has refuse everything.
#include <windows.h>

extern "C" {

DWORD WINAPI WNetCachePassword(LPSTR, WORD, LPSTR, WORD, BYTE, WORD) { return ERROR_NOT_SUPPORTED; }

DWORD WINAPI WNetRemoveCachedPassword(LPSTR, WORD, BYTE) { return ERROR_NOT_SUPPORTED; }

}
