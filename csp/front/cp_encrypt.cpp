// Encryption entries.
#include "csp/front/cp_entries.h"
#include "csp/front/entry_frame.h"

using namespace tv::csp;

namespace {

ULONG_PTR ProviderTag(HCRYPTPROV hProv) { return TagOf(HandleKind::Provider, hProv); }

}  // namespace

extern "C" {

BOOL WINAPI CPEncrypt(HCRYPTPROV hProv, HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final,
                      DWORD dwFlags, BYTE* pbData, DWORD* pdwDataLen, DWORD dwBufLen) {
  const EntryFrame frame("CPEncrypt");
  frame.Enter({hProv, ProviderTag(hProv), hKey, hHash, static_cast<ULONG_PTR>(Final), dwFlags,
               TraceValue(pbData), pdwDataLen ? *pdwDataLen : 0, dwBufLen});
  if (!frame.CheckHandle(HandleKind::Provider, hProv, 2)) return FALSE;
  if (!frame.CheckHandle(HandleKind::Key, hKey)) return FALSE;
  return frame.Refuse(NTE_BAD_KEY);
}

BOOL WINAPI CPDecrypt(HCRYPTPROV hProv, HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final,
                      DWORD dwFlags, BYTE* pbData, DWORD* pdwDataLen) {
  const EntryFrame frame("CPDecrypt");
  frame.Enter({hProv, ProviderTag(hProv), hKey, hHash, static_cast<ULONG_PTR>(Final), dwFlags,
               TraceValue(pbData), pdwDataLen ? *pdwDataLen : 0});
  if (!frame.CheckHandle(HandleKind::Provider, hProv, 2)) return FALSE;
  if (!frame.CheckHandle(HandleKind::Key, hKey)) return FALSE;
  return frame.Refuse(NTE_BAD_KEY);
}

}  // extern "C"
