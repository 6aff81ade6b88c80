// Hash entries.
#include "csp/front/cp_entries.h"
#include "csp/front/entry_frame.h"

using namespace tv::csp;

namespace {

ULONG_PTR ProviderTag(HCRYPTPROV hProv) { return TagOf(HandleKind::Provider, hProv); }

// Provider first, then the hash; what an unusable pair of handles reports.
BOOL CheckProviderAndHash(const EntryFrame& frame, HCRYPTPROV hProv, HCRYPTHASH hHash,
                          int badProviderStep = 0, int badHashStep = 0) {
  if (!frame.CheckHandle(HandleKind::Provider, hProv, badProviderStep)) return FALSE;
  if (!frame.CheckHandle(HandleKind::Hash, hHash, badHashStep)) return FALSE;
  return frame.Refuse(NTE_BAD_HASH);
}

}  // namespace

extern "C" {

BOOL WINAPI CPCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY hKey, DWORD dwFlags,
                         HCRYPTHASH* phHash) {
  const EntryFrame frame("CPCreateHash");
  frame.Enter({hProv, ProviderTag(hProv), Algid, hKey, dwFlags, TraceValue(phHash)});
  if (!frame.CheckHandle(HandleKind::Provider, hProv)) return FALSE;
  return frame.Refuse(NTE_BAD_UID);
}

BOOL WINAPI CPHashData(HCRYPTPROV hProv, HCRYPTHASH hHash, const BYTE* pbData, DWORD dwDataLen,
                       DWORD dwFlags) {
  const EntryFrame frame("CPHashData");
  frame.Enter({hProv, ProviderTag(hProv), hHash, TraceValue(pbData), dwDataLen, dwFlags});
  return CheckProviderAndHash(frame, hProv, hHash);
}

BOOL WINAPI CPHashSessionKey(HCRYPTPROV hProv, HCRYPTHASH hHash, HCRYPTKEY hKey, DWORD dwFlags) {
  const EntryFrame frame("CPHashSessionKey");
  frame.Enter({hProv, ProviderTag(hProv), hHash, hKey, dwFlags});
  return CheckProviderAndHash(frame, hProv, hHash);
}

BOOL WINAPI CPGetHashParam(HCRYPTPROV hProv, HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData,
                           DWORD*, DWORD dwFlags) {
  const EntryFrame frame("CPGetHashParam");
  frame.Enter({hProv, ProviderTag(hProv), dwParam, TraceValue(pbData), dwFlags});
  return CheckProviderAndHash(frame, hProv, hHash);
}

BOOL WINAPI CPSetHashParam(HCRYPTPROV hProv, HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData,
                           DWORD dwFlags) {
  const EntryFrame frame("CPSetHashParam");
  frame.Enter({hProv, ProviderTag(hProv), dwParam, TraceValue(pbData), dwFlags});
  return CheckProviderAndHash(frame, hProv, hHash);
}

BOOL WINAPI CPDuplicateHash(HCRYPTPROV hProv, HCRYPTHASH hHash, DWORD* pdwReserved,
                            DWORD dwFlags, HCRYPTHASH* phHash) {
  const EntryFrame frame("CPDuplicateHash");
  frame.Enter({hProv, ProviderTag(hProv), hHash, TraceValue(pdwReserved), dwFlags,
               TraceValue(phHash)});
  return CheckProviderAndHash(frame, hProv, hHash, 2, 4);
}

BOOL WINAPI CPDestroyHash(HCRYPTPROV hProv, HCRYPTHASH hHash) {
  const EntryFrame frame("CPDestroyHash");
  frame.Enter({hProv, ProviderTag(hProv), hHash});
  return CheckProviderAndHash(frame, hProv, hHash);
}

}  // extern "C"
