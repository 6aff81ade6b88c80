// Signature entries.
#include "csp/front/cp_entries.h"
#include "csp/front/entry_frame.h"

using namespace tv::csp;

namespace {

ULONG_PTR ProviderTag(HCRYPTPROV hProv) { return TagOf(HandleKind::Provider, hProv); }

}  // namespace

extern "C" {

BOOL WINAPI CPSignHash(HCRYPTPROV hProv, HCRYPTHASH hHash, DWORD dwKeySpec, LPCWSTR sDescription,
                       DWORD dwFlags, BYTE* pbSignature, DWORD* pdwSigLen) {
  const EntryFrame frame("CPSignHash");
  frame.Enter({hProv, ProviderTag(hProv), hHash, dwKeySpec, TraceValue(sDescription), dwFlags,
               TraceValue(pbSignature), pdwSigLen ? *pdwSigLen : 0});
  if (!frame.CheckHandle(HandleKind::Provider, hProv, 2)) return FALSE;
  if (!frame.CheckHandle(HandleKind::Hash, hHash, 4)) return FALSE;
  return frame.Refuse(NTE_BAD_HASH);
}

BOOL WINAPI CPVerifySignature(HCRYPTPROV hProv, HCRYPTHASH hHash, const BYTE* pbSignature,
                              DWORD dwSigLen, HCRYPTKEY hPubKey, LPCWSTR sDescription,
                              DWORD dwFlags) {
  const EntryFrame frame("CPVerifySignature");
  frame.Enter({hProv, ProviderTag(hProv), hHash, TraceValue(pbSignature), dwSigLen, hPubKey,
               TraceValue(sDescription), dwFlags});
  if (!frame.CheckHandle(HandleKind::Provider, hProv, 2)) return FALSE;
  if (!frame.CheckHandle(HandleKind::Hash, hHash, 4)) return FALSE;
  return frame.Refuse(NTE_BAD_HASH);
}

}  // extern "C"
