// Encryption entries: handle, hash and flag checks with their trace lines;
// the work is in symmetric_crypt.
#include <algorithm>

#include "common/trace_log.h"
#include "csp/front/cp_entries.h"
#include "csp/front/entry_frame.h"
#include "csp/front/object_handles.h"
#include "csp/front/symmetric_crypt.h"

using namespace tv::csp;

namespace {

ULONG_PTR ProviderTag(HCRYPTPROV hProv) { return TagOf(HandleKind::Provider, hProv); }

// A session key: the key line (handle, tag, kind, salt length, algorithm);
// otherwise line 4 (handle, tag, kind) and NTE_BAD_KEY.
bool CheckSessionKey(const EntryFrame& frame, HCRYPTKEY hKey) {
  unsigned kind = 0;
  if (IsValidHandle(HandleKind::Key, hKey)) {
    const KeyObject& key = *KeyFromHandle(hKey);
    kind = static_cast<unsigned>(key.head.kind);
    tv::WriteLog(tv::LogTrace, "", "%s. 3. %08X. %08X. %08X. %08X. %08X.", frame.Name(), static_cast<unsigned>(hKey),
                 static_cast<unsigned>(key.head.tag), kind, static_cast<unsigned>(key.session.saltLength),
                 static_cast<unsigned>(key.head.algorithm));
    if (key.IsSession()) return true;
  }
  tv::WriteLog(tv::LogError, "", "%s. 4. %08X. %08X. %08X.", frame.Name(), static_cast<unsigned>(hKey),
               static_cast<unsigned>(TagOf(HandleKind::Key, hKey)), kind);
  frame.Refuse(NTE_BAD_KEY);
  return false;
}

// The hash line: handle, tag, algorithm and hash size, as the hash entries
// report them. Asked only when the line is written.
void TraceHash(const EntryFrame& frame, HCRYPTPROV hProv, HCRYPTHASH hHash) {
  if (tv::CurrentLogLevel() < tv::LogTrace) return;
  DWORD algorithm = 0, size = 0, length = sizeof algorithm;
  CPGetHashParam(hProv, hHash, HP_ALGID, reinterpret_cast<BYTE*>(&algorithm), &length, 0);
  length = sizeof size;
  CPGetHashParam(hProv, hHash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&size), &length, 0);
  tv::WriteLog(tv::LogTrace, "", "%s. 5. %08X. %08X. %08X. %08X.", frame.Name(), static_cast<unsigned>(hHash),
               static_cast<unsigned>(TagOf(HandleKind::Hash, hHash)), static_cast<unsigned>(algorithm),
               static_cast<unsigned>(size));
}

// What both entries check, in order: provider, key, hash (when given),
// flags, and the length pointer (lengthStep names its failure line).
bool CheckCall(const EntryFrame& frame, HCRYPTPROV hProv, HCRYPTKEY hKey, HCRYPTHASH hHash, DWORD dwFlags,
               const DWORD* pdwDataLen, int lengthStep) {
  if (!frame.CheckHandle(HandleKind::Provider, hProv, 2)) return false;
  if (!CheckSessionKey(frame, hKey)) return false;
  if (hHash) {
    if (!frame.CheckHandle(HandleKind::Hash, hHash, 6)) return false;
    TraceHash(frame, hProv, hHash);
  }
  if (dwFlags) return frame.Fail(7, NTE_BAD_FLAGS);
  if (!pdwDataLen) return frame.Fail(lengthStep, ERROR_INVALID_PARAMETER);
  return true;
}

}  // namespace

extern "C" {

BOOL WINAPI CPEncrypt(HCRYPTPROV hProv, HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final,
                      DWORD dwFlags, BYTE* pbData, DWORD* pdwDataLen, DWORD dwBufLen) {
  const EntryFrame frame("CPEncrypt");
  frame.Enter({hProv, ProviderTag(hProv), hKey, hHash, static_cast<ULONG_PTR>(Final), dwFlags,
               TraceValue(pbData), pdwDataLen ? *pdwDataLen : 0, dwBufLen});
  if (!CheckCall(frame, hProv, hKey, hHash, dwFlags, pdwDataLen, 14)) return FALSE;
  // The claimed data length may exceed the buffer; trace only the buffer.
  if (pbData) tv::LogHexDump(tv::LogInfo, frame.Name(), pbData, std::min(*pdwDataLen, dwBufLen));
  const MessageCall call{frame, hProv, KeyFromHandle(hKey)->session, hHash, Final != FALSE, pbData, pdwDataLen};
  return EncryptMessage(call, dwBufLen);
}

BOOL WINAPI CPDecrypt(HCRYPTPROV hProv, HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final,
                      DWORD dwFlags, BYTE* pbData, DWORD* pdwDataLen) {
  const EntryFrame frame("CPDecrypt");
  frame.Enter({hProv, ProviderTag(hProv), hKey, hHash, static_cast<ULONG_PTR>(Final), dwFlags,
               TraceValue(pbData), pdwDataLen ? *pdwDataLen : 0});
  if (!CheckCall(frame, hProv, hKey, hHash, dwFlags, pdwDataLen, 16)) return FALSE;
  if (pbData) tv::LogHexDump(tv::LogInfo, frame.Name(), pbData, *pdwDataLen);
  const MessageCall call{frame, hProv, KeyFromHandle(hKey)->session, hHash, Final != FALSE, pbData, pdwDataLen};
  return DecryptMessage(call);
}

}  // extern "C"
