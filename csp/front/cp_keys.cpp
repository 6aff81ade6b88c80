// Key entries: generation, derivation, parameters, duplication, blobs.
#include "common/trace_log.h"
#include "csp/crypto/objects/key_params.h"
#include "csp/front/cp_entries.h"
#include "csp/front/entry_frame.h"
#include "csp/front/key_blobs.h"
#include "csp/front/key_generation.h"
#include "csp/front/object_handles.h"
#include "csp/front/prov_context.h"

using namespace tv::csp;

namespace {

ULONG_PTR ProviderTag(HCRYPTPROV hProv) { return TagOf(HandleKind::Provider, hProv); }

bool CheckProviderAndKey(const EntryFrame& frame, HCRYPTPROV hProv, HCRYPTKEY hKey) {
  return frame.CheckHandle(HandleKind::Provider, hProv) && frame.CheckHandle(HandleKind::Key, hKey);
}

// The key line: handle, its tag, kind, salt length and algorithm.
void TraceKey(const char* entry, HCRYPTKEY hKey) {
  const KeyObject& key = *KeyFromHandle(hKey);
  tv::WriteLog(tv::LogTrace, "", "%s. 2. %08X. %08X. %08X. %08X. %08X.", entry, static_cast<unsigned>(hKey),
               static_cast<unsigned>(key.head.tag), static_cast<unsigned>(key.head.kind),
               static_cast<unsigned>(key.session.saltLength), static_cast<unsigned>(key.head.algorithm));
}

}  // namespace

extern "C" {

BOOL WINAPI CPGenKey(HCRYPTPROV hProv, ALG_ID Algid, DWORD dwFlags, HCRYPTKEY* phKey) {
  const EntryFrame frame("CPGenKey");
  frame.Enter({hProv, ProviderTag(hProv), Algid, dwFlags, TraceValue(phKey)});
  if (!frame.CheckHandle(HandleKind::Provider, hProv)) return FALSE;
  if (!phKey) return frame.Refuse(ERROR_INVALID_PARAMETER);
  KeyObject* key = GenerateKey(*ContextFromHandle(hProv), Algid, dwFlags);
  if (!key) return frame.Fail(2, GetLastError());
  *phKey = IssueKeyHandle(key);
  tv::WriteLog(tv::LogTrace, "", "CPGenKey. 3. %08X", static_cast<unsigned>(*phKey));
  SetLastError(0);
  return TRUE;
}

BOOL WINAPI CPDeriveKey(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTHASH hBaseData, DWORD dwFlags,
                        HCRYPTKEY* phKey) {
  const EntryFrame frame("CPDeriveKey");
  frame.Enter({hProv, ProviderTag(hProv), Algid, dwFlags, TraceValue(phKey)});
  if (!frame.CheckHandle(HandleKind::Provider, hProv)) return FALSE;
  if (!frame.CheckHandle(HandleKind::Hash, hBaseData)) return FALSE;
  if (!phKey) return frame.Refuse(ERROR_INVALID_PARAMETER);
  KeyObject* key = DeriveKey(hProv, Algid, hBaseData, dwFlags);
  if (!key) return frame.Fail(4, GetLastError());
  *phKey = IssueKeyHandle(key);
  tv::WriteLog(tv::LogTrace, "", "CPDeriveKey. 3. %08X", static_cast<unsigned>(*phKey));
  return TRUE;
}

BOOL WINAPI CPDestroyKey(HCRYPTPROV hProv, HCRYPTKEY hKey) {
  const EntryFrame frame("CPDestroyKey");
  frame.Enter({hProv, ProviderTag(hProv)});
  if (!CheckProviderAndKey(frame, hProv, hKey)) return FALSE;
  TraceKey("CPDestroyKey", hKey);
  DestroyKey(KeyFromHandle(hKey));
  return frame.Succeed(3);
}

BOOL WINAPI CPSetKeyParam(HCRYPTPROV hProv, HCRYPTKEY hKey, DWORD dwParam, BYTE* pbData,
                          DWORD dwFlags) {
  const EntryFrame frame("CPSetKeyParam");
  frame.Enter({hProv, ProviderTag(hProv), dwParam, TraceValue(pbData), dwFlags});
  if (!CheckProviderAndKey(frame, hProv, hKey)) return FALSE;
  TraceKey("CPSetKeyParam", hKey);
  if (!SetKeyParam(*KeyFromHandle(hKey), dwParam, pbData, dwFlags)) return frame.Fail(4, GetLastError());
  return frame.Succeed(3);
}

BOOL WINAPI CPGetKeyParam(HCRYPTPROV hProv, HCRYPTKEY hKey, DWORD dwParam, BYTE* pbData,
                          DWORD* pdwDataLen, DWORD dwFlags) {
  const EntryFrame frame("CPGetKeyParam");
  frame.Enter({hProv, ProviderTag(hProv), dwParam, TraceValue(pbData),
               pdwDataLen ? *pdwDataLen : 0, dwFlags});
  if (!CheckProviderAndKey(frame, hProv, hKey)) return FALSE;
  TraceKey("CPGetKeyParam", hKey);
  if (!GetKeyParam(*KeyFromHandle(hKey), dwParam, pbData, pdwDataLen, dwFlags))
    return frame.Fail(4, GetLastError());
  tv::WriteLog(tv::LogTrace, "", "CPGetKeyParam. 3. %08X.", static_cast<unsigned>(*pdwDataLen));
  return TRUE;
}

BOOL WINAPI CPDuplicateKey(HCRYPTPROV hProv, HCRYPTKEY hKey, DWORD* pdwReserved, DWORD dwFlags,
                           HCRYPTKEY* phKey) {
  const EntryFrame frame("CPDuplicateKey");
  frame.Enter({hProv, ProviderTag(hProv), hKey, TraceValue(pdwReserved), dwFlags, TraceValue(phKey)});
  if (!CheckProviderAndKey(frame, hProv, hKey)) return FALSE;
  const KeyObject& source = *KeyFromHandle(hKey);
  tv::WriteLog(tv::LogTrace, "", "CPDuplicateKey. 2. %08X. %08X. %08X.", static_cast<unsigned>(hKey),
               static_cast<unsigned>(source.head.kind), static_cast<unsigned>(source.head.algorithm));
  if (pdwReserved || dwFlags || !phKey) return frame.Refuse(ERROR_INVALID_PARAMETER);
  KeyObject* copy = DuplicateKeyObject(source);
  if (!copy) return frame.Fail(4, GetLastError());
  *phKey = IssueKeyHandle(copy);
  tv::WriteLog(tv::LogTrace, "", "CPDuplicateKey. 3. %08X.", static_cast<unsigned>(*phKey));
  return TRUE;
}

BOOL WINAPI CPExportKey(HCRYPTPROV hProv, HCRYPTKEY hKey, HCRYPTKEY hPubKey, DWORD dwBlobType,
                        DWORD dwFlags, BYTE* pbData, DWORD* pdwDataLen) {
  const EntryFrame frame("CPExportKey");
  frame.Enter({hProv, ProviderTag(hProv), hKey, hPubKey, dwBlobType, dwFlags, TraceValue(pbData),
               pdwDataLen ? *pdwDataLen : 0});
  if (!frame.CheckHandle(HandleKind::Provider, hProv)) return FALSE;
  if (dwFlags) return frame.Refuse(NTE_BAD_FLAGS);
  if (!frame.CheckHandle(HandleKind::Key, hKey)) return FALSE;
  if (!pdwDataLen) return frame.Refuse(ERROR_INVALID_PARAMETER);
  const KeyObject& key = *KeyFromHandle(hKey);
  const bool exportKeyValid = IsValidHandle(HandleKind::Key, hPubKey);
  tv::WriteLog(tv::LogTrace, "", "CPExportKey. 2. %08X. %08X. %08X. %08X. %08X.", static_cast<unsigned>(hKey),
               static_cast<unsigned>(key.head.tag), static_cast<unsigned>(key.head.kind),
               static_cast<unsigned>(key.head.algorithm),
               exportKeyValid ? static_cast<unsigned>(KeyFromHandle(hPubKey)->head.kind) : 0u);
  if (!ExportKeyBlob(key, hPubKey, dwBlobType, pbData, pdwDataLen)) return frame.Refuse(GetLastError());
  tv::WriteLog(tv::LogTrace, "", "CPExportKey. 1. %08X.", static_cast<unsigned>(*pdwDataLen));
  return TRUE;
}

BOOL WINAPI CPImportKey(HCRYPTPROV hProv, const BYTE* pbData, DWORD dwDataLen,
                        HCRYPTKEY hPubKey, DWORD dwFlags, HCRYPTKEY* phKey) {
  const EntryFrame frame("CPImportKey");
  frame.Enter({hProv, ProviderTag(hProv), TraceValue(pbData), dwDataLen, hPubKey, dwFlags,
               TraceValue(phKey)});
  if (!frame.CheckHandle(HandleKind::Provider, hProv)) return FALSE;
  if (!phKey || (!pbData && dwDataLen)) return frame.Refuse(ERROR_INVALID_PARAMETER);
  KeyObject* key = ImportKeyBlob(*ContextFromHandle(hProv), {pbData, dwDataLen}, hPubKey, dwFlags);
  if (!key) return frame.Refuse(GetLastError());
  *phKey = IssueKeyHandle(key);
  tv::WriteLog(tv::LogTrace, "", "CPImportKey. 3. %08X.", static_cast<unsigned>(*phKey));
  SetLastError(0);
  return TRUE;
}

}  // extern "C"
