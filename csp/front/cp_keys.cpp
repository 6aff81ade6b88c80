// Key entries: generation, derivation, parameters, duplication, blobs.
#include "csp/front/cp_entries.h"
#include "csp/front/entry_frame.h"

using namespace tv::csp;

namespace {

ULONG_PTR ProviderTag(HCRYPTPROV hProv) { return TagOf(HandleKind::Provider, hProv); }

// Provider first, then the key; what an unusable pair of handles reports.
BOOL CheckProviderAndKey(const EntryFrame& frame, HCRYPTPROV hProv, HCRYPTKEY hKey) {
  if (!frame.CheckHandle(HandleKind::Provider, hProv)) return FALSE;
  if (!frame.CheckHandle(HandleKind::Key, hKey)) return FALSE;
  return frame.Refuse(NTE_BAD_KEY);
}

}  // namespace

extern "C" {

BOOL WINAPI CPGenKey(HCRYPTPROV hProv, ALG_ID Algid, DWORD dwFlags, HCRYPTKEY* phKey) {
  const EntryFrame frame("CPGenKey");
  frame.Enter({hProv, ProviderTag(hProv), Algid, dwFlags, TraceValue(phKey)});
  if (!frame.CheckHandle(HandleKind::Provider, hProv)) return FALSE;
  return frame.Refuse(NTE_BAD_UID);
}

BOOL WINAPI CPDeriveKey(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTHASH hBaseData, DWORD dwFlags,
                        HCRYPTKEY* phKey) {
  const EntryFrame frame("CPDeriveKey");
  frame.Enter({hProv, ProviderTag(hProv), Algid, dwFlags, TraceValue(phKey)});
  if (!frame.CheckHandle(HandleKind::Provider, hProv)) return FALSE;
  if (!frame.CheckHandle(HandleKind::Hash, hBaseData)) return FALSE;
  return frame.Refuse(NTE_BAD_HASH);
}

BOOL WINAPI CPDestroyKey(HCRYPTPROV hProv, HCRYPTKEY hKey) {
  const EntryFrame frame("CPDestroyKey");
  frame.Enter({hProv, ProviderTag(hProv)});
  return CheckProviderAndKey(frame, hProv, hKey);
}

BOOL WINAPI CPSetKeyParam(HCRYPTPROV hProv, HCRYPTKEY hKey, DWORD dwParam, BYTE* pbData,
                          DWORD dwFlags) {
  const EntryFrame frame("CPSetKeyParam");
  frame.Enter({hProv, ProviderTag(hProv), dwParam, TraceValue(pbData), dwFlags});
  return CheckProviderAndKey(frame, hProv, hKey);
}

BOOL WINAPI CPGetKeyParam(HCRYPTPROV hProv, HCRYPTKEY hKey, DWORD dwParam, BYTE* pbData,
                          DWORD* pdwDataLen, DWORD dwFlags) {
  const EntryFrame frame("CPGetKeyParam");
  frame.Enter({hProv, ProviderTag(hProv), dwParam, TraceValue(pbData),
               pdwDataLen ? *pdwDataLen : 0, dwFlags});
  return CheckProviderAndKey(frame, hProv, hKey);
}

BOOL WINAPI CPDuplicateKey(HCRYPTPROV hProv, HCRYPTKEY hKey, DWORD* pdwReserved, DWORD dwFlags,
                           HCRYPTKEY* phKey) {
  const EntryFrame frame("CPDuplicateKey");
  frame.Enter({hProv, ProviderTag(hProv), hKey, TraceValue(pdwReserved), dwFlags,
               TraceValue(phKey)});
  return CheckProviderAndKey(frame, hProv, hKey);
}

BOOL WINAPI CPExportKey(HCRYPTPROV hProv, HCRYPTKEY hKey, HCRYPTKEY hPubKey, DWORD dwBlobType,
                        DWORD dwFlags, BYTE* pbData, DWORD* pdwDataLen) {
  const EntryFrame frame("CPExportKey");
  frame.Enter({hProv, ProviderTag(hProv), hKey, hPubKey, dwBlobType, dwFlags, TraceValue(pbData),
               pdwDataLen ? *pdwDataLen : 0});
  return CheckProviderAndKey(frame, hProv, hKey);
}

BOOL WINAPI CPImportKey(HCRYPTPROV hProv, const BYTE* pbData, DWORD dwDataLen,
                        HCRYPTKEY hPubKey, DWORD dwFlags, HCRYPTKEY* phKey) {
  const EntryFrame frame("CPImportKey");
  frame.Enter({hProv, ProviderTag(hProv), TraceValue(pbData), dwDataLen, hPubKey, dwFlags,
               TraceValue(phKey)});
  if (!frame.CheckHandle(HandleKind::Provider, hProv)) return FALSE;
  return frame.Refuse(NTE_BAD_UID);
}

}  // extern "C"
