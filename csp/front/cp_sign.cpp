// Signature entries.
#include "common/trace_log.h"
#include "csp/front/cp_entries.h"
#include "csp/front/entry_frame.h"
#include "csp/front/object_handles.h"
#include "csp/front/signature.h"

using namespace tv::csp;

namespace {

ULONG_PTR ProviderTag(HCRYPTPROV hProv) { return TagOf(HandleKind::Provider, hProv); }

// Flags may ask only for the bare hash value; descriptions are not supported.
bool AcceptedSignatureFlags(DWORD flags, LPCWSTR description) {
  return (flags & ~static_cast<DWORD>(CRYPT_NOHASHOID)) == 0 && (!description || !*description);
}

// Provider, hash, then flags and description; failures write lines 2, 4 and 5.
bool CheckSignatureCall(const EntryFrame& frame, HCRYPTPROV hProv, HCRYPTHASH hHash, DWORD flags,
                        LPCWSTR description) {
  if (!frame.CheckHandle(HandleKind::Provider, hProv, 2)) return false;
  if (!frame.CheckHandle(HandleKind::Hash, hHash, 4)) return false;
  if (AcceptedSignatureFlags(flags, description)) return true;
  tv::WriteLog(tv::LogError, "", "%s. 5. %08X. %08X.", frame.Name(), static_cast<unsigned>(flags),
               static_cast<unsigned>(TraceValue(description)));
  frame.Refuse(NTE_BAD_FLAGS);
  return false;
}

}  // namespace

extern "C" {

BOOL WINAPI CPSignHash(HCRYPTPROV hProv, HCRYPTHASH hHash, DWORD dwKeySpec, LPCWSTR sDescription,
                       DWORD dwFlags, BYTE* pbSignature, DWORD* pdwSigLen) {
  const EntryFrame frame("CPSignHash");
  frame.Enter({hProv, ProviderTag(hProv), hHash, dwKeySpec, TraceValue(sDescription), dwFlags,
               TraceValue(pbSignature), pdwSigLen ? *pdwSigLen : 0});
  if (!CheckSignatureCall(frame, hProv, hHash, dwFlags, sDescription)) return FALSE;
  if (!pdwSigLen) return frame.Refuse(ERROR_INVALID_PARAMETER);
  return SignHash(frame, hProv, hHash, dwKeySpec, dwFlags, pbSignature, pdwSigLen);
}

BOOL WINAPI CPVerifySignature(HCRYPTPROV hProv, HCRYPTHASH hHash, const BYTE* pbSignature,
                              DWORD dwSigLen, HCRYPTKEY hPubKey, LPCWSTR sDescription,
                              DWORD dwFlags) {
  const EntryFrame frame("CPVerifySignature");
  frame.Enter({hProv, ProviderTag(hProv), hHash, TraceValue(pbSignature), dwSigLen, hPubKey,
               TraceValue(sDescription), dwFlags});
  if (!CheckSignatureCall(frame, hProv, hHash, dwFlags, sDescription)) return FALSE;
  if (!frame.CheckHandle(HandleKind::Key, hPubKey)) return FALSE;
  const KeyObject& key = *KeyFromHandle(hPubKey);
  if (!key.IsRsa()) return frame.Fail(7, NTE_BAD_KEY);
  if (!pbSignature && dwSigLen) return frame.Refuse(ERROR_INVALID_PARAMETER);
  return VerifySignature(frame, hProv, hHash, {pbSignature, dwSigLen}, key, dwFlags);
}

}  // extern "C"
