// Hash entries: each validates its handles, writes its trace lines and hands
// the work to the hash object (csp/crypto/objects/hash_object.h).
#include "common/trace_log.h"
#include "csp/crypto/objects/hash_object.h"
#include "csp/front/cp_entries.h"
#include "csp/front/entry_frame.h"
#include "csp/front/object_handles.h"
#include "csp/front/process_state.h"

using namespace tv::csp;

namespace {

ULONG_PTR ProviderTag(HCRYPTPROV hProv) { return TagOf(HandleKind::Provider, hProv); }

// Provider first, then the hash.
bool CheckProviderAndHash(const EntryFrame& frame, HCRYPTPROV hProv, HCRYPTHASH hHash,
                          int badProviderStep = 0, int badHashStep = 0) {
  return frame.CheckHandle(HandleKind::Provider, hProv, badProviderStep) &&
         frame.CheckHandle(HandleKind::Hash, hHash, badHashStep);
}

// The hash line: handle, its tag, algorithm and hash size.
void TraceHash(const EntryFrame& frame, int step, HCRYPTHASH hHash) {
  const HashHead& head = HashFromHandle(hHash)->head;
  tv::WriteLog(tv::LogTrace, "", "%s. %d. %08X. %08X. %08X. %08X.", frame.Name(), step,
               static_cast<unsigned>(hHash), static_cast<unsigned>(head.tag),
               static_cast<unsigned>(head.algorithm), static_cast<unsigned>(head.hashSize));
}

// The key line: handle, its tag, kind, salt length and algorithm.
void TraceKey(const EntryFrame& frame, int step, HCRYPTKEY hKey) {
  const KeyObject& key = *KeyFromHandle(hKey);
  tv::WriteLog(tv::LogTrace, "", "%s. %d. %08X. %08X. %08X. %08X. %08X.", frame.Name(), step,
               static_cast<unsigned>(hKey), static_cast<unsigned>(key.head.tag),
               static_cast<unsigned>(key.head.kind), static_cast<unsigned>(key.session.saltLength),
               static_cast<unsigned>(key.head.algorithm));
}

void TraceFinished(const EntryFrame& frame, int step, const HashObject& hash) {
  tv::WriteLog(tv::LogTrace, "", "%s. %d. %08X.", frame.Name(), step, static_cast<unsigned>(hash.head.finished));
}

// A MAC encrypts with a key it does not own; once the caller has destroyed
// that key, the MAC is refused instead of reaching into freed memory.
bool MacKeyAlive(const HashObject& hash) {
  const KeyObject* key = MacKey(hash);
  return !key || IsValidHandle(HandleKind::Key, reinterpret_cast<ULONG_PTR>(key));
}

}  // namespace

extern "C" {

BOOL WINAPI CPCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY hKey, DWORD dwFlags,
                         HCRYPTHASH* phHash) {
  const EntryFrame frame("CPCreateHash");
  frame.Enter({hProv, ProviderTag(hProv), Algid, hKey, dwFlags, TraceValue(phHash)});
  if (!frame.CheckHandle(HandleKind::Provider, hProv)) return FALSE;
  if (dwFlags) return frame.Refuse(NTE_BAD_FLAGS);
  if (!phHash) return frame.Refuse(ERROR_INVALID_PARAMETER);
  KeyObject* key = nullptr;
  if (hKey) {
    if (!frame.CheckHandle(HandleKind::Key, hKey)) return FALSE;
    TraceKey(frame, 2, hKey);
    key = KeyFromHandle(hKey);
  }
  HashObject* hash = CreateHashObject(Algid, key);
  if (!hash) return frame.Fail(4, GetLastError());
  *phHash = IssueHashHandle(hash);
  tv::WriteLog(tv::LogTrace, "", "CPCreateHash. 3. %08X.", static_cast<unsigned>(*phHash));
  return TRUE;
}

BOOL WINAPI CPHashData(HCRYPTPROV hProv, HCRYPTHASH hHash, const BYTE* pbData, DWORD dwDataLen,
                       DWORD dwFlags) {
  const EntryFrame frame("CPHashData");
  frame.Enter({hProv, ProviderTag(hProv), hHash, TraceValue(pbData), dwDataLen, dwFlags});
  if (!CheckProviderAndHash(frame, hProv, hHash)) return FALSE;
  HashObject& hash = *HashFromHandle(hHash);
  TraceHash(frame, 2, hHash);
  TraceFinished(frame, 3, hash);
  if (!MacKeyAlive(hash)) return frame.Fail(5, NTE_BAD_KEY);
  if (!HashData(hash, pbData, dwDataLen, dwFlags)) return frame.Fail(5, GetLastError());
  tv::LogHexDump(tv::LogInfo, "CPHashData", pbData, dwDataLen);
  return frame.Succeed(4);
}

BOOL WINAPI CPHashSessionKey(HCRYPTPROV hProv, HCRYPTHASH hHash, HCRYPTKEY hKey, DWORD dwFlags) {
  const EntryFrame frame("CPHashSessionKey");
  frame.Enter({hProv, ProviderTag(hProv), hHash, hKey, dwFlags});
  if (!CheckProviderAndHash(frame, hProv, hHash)) return FALSE;
  HashObject& hash = *HashFromHandle(hHash);
  TraceHash(frame, 2, hHash);
  if (!frame.CheckHandle(HandleKind::Key, hKey)) return FALSE;
  TraceKey(frame, 3, hKey);
  TraceFinished(frame, 4, hash);
  if (!MacKeyAlive(hash)) return frame.Fail(6, NTE_BAD_KEY);
  if (!HashSessionKey(hash, *KeyFromHandle(hKey), dwFlags)) return frame.Fail(6, GetLastError());
  return frame.Succeed(5);
}

BOOL WINAPI CPGetHashParam(HCRYPTPROV hProv, HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData,
                           DWORD* pdwDataLen, DWORD dwFlags) {
  const EntryFrame frame("CPGetHashParam");
  frame.Enter({hProv, ProviderTag(hProv), dwParam, TraceValue(pbData), dwFlags});
  if (!CheckProviderAndHash(frame, hProv, hHash)) return FALSE;
  HashObject& hash = *HashFromHandle(hHash);
  TraceHash(frame, 2, hHash);
  const bool computes = dwParam == HP_HASHVAL && pbData && !hash.head.finished;
  if (computes && !MacKeyAlive(hash)) return frame.Fail(4, NTE_BAD_KEY);
  if (!GetHashParam(hash, dwParam, pbData, pdwDataLen, dwFlags)) return frame.Fail(4, GetLastError());
  if (computes) tv::LogHexDump(tv::LogTrace, "CPGetHashParam", pbData, *pdwDataLen);
  return frame.Succeed(3);
}

BOOL WINAPI CPSetHashParam(HCRYPTPROV hProv, HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData,
                           DWORD dwFlags) {
  const EntryFrame frame("CPSetHashParam");
  frame.Enter({hProv, ProviderTag(hProv), dwParam, TraceValue(pbData), dwFlags});
  if (!CheckProviderAndHash(frame, hProv, hHash)) return FALSE;
  TraceHash(frame, 2, hHash);
  if (!SetHashParam(*HashFromHandle(hHash), dwParam, pbData, dwFlags)) return frame.Fail(4, GetLastError());
  return frame.Succeed(3);
}

BOOL WINAPI CPDuplicateHash(HCRYPTPROV hProv, HCRYPTHASH hHash, DWORD* pdwReserved,
                            DWORD dwFlags, HCRYPTHASH* phHash) {
  const EntryFrame frame("CPDuplicateHash");
  frame.Enter({hProv, ProviderTag(hProv), hHash, TraceValue(pdwReserved), dwFlags,
               TraceValue(phHash)});
  if (!CheckProviderAndHash(frame, hProv, hHash, 2, 4)) return FALSE;
  TraceHash(frame, 3, hHash);
  if (pdwReserved || dwFlags || !phHash) {
    tv::WriteLog(tv::LogError, "", "CPDuplicateHash. 5. %08X. %08X. %08X.",
                 static_cast<unsigned>(TraceValue(pdwReserved)), static_cast<unsigned>(dwFlags),
                 static_cast<unsigned>(TraceValue(phHash)));
    return frame.Refuse(ERROR_INVALID_PARAMETER);
  }
  HashObject* copy = DuplicateHashObject(*HashFromHandle(hHash));
  if (!copy) return frame.Fail(6, GetLastError());
  *phHash = IssueHashHandle(copy);
  tv::WriteLog(tv::LogTrace, "", "CPDuplicateHash. 7. %08X.", static_cast<unsigned>(*phHash));
  SetLastError(0);
  return TRUE;
}

BOOL WINAPI CPDestroyHash(HCRYPTPROV hProv, HCRYPTHASH hHash) {
  const EntryFrame frame("CPDestroyHash");
  frame.Enter({hProv, ProviderTag(hProv), hHash});
  if (!CheckProviderAndHash(frame, hProv, hHash)) return FALSE;
  TraceHash(frame, 2, hHash);
  DestroyHash(HashFromHandle(hHash));
  return frame.Succeed(3);
}

}  // extern "C"
