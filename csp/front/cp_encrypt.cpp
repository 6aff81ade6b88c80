// Encryption entries: handle, hash and flag checks with their trace lines;
// the work is in symmetric_crypt (session keys) and rsa_crypt (exchange keys).
#include <algorithm>

#include "common/trace_log.h"
#include "csp/front/cp_entries.h"
#include "csp/front/entry_frame.h"
#include "csp/front/object_handles.h"
#include "csp/front/rsa_crypt.h"
#include "csp/front/symmetric_crypt.h"

using namespace tv::csp;

namespace {

ULONG_PTR ProviderTag(HCRYPTPROV hProv) { return TagOf(HandleKind::Provider, hProv); }

// A key the entry takes: a session key, or an exchange key for RSA
// encryption (with its private part to decrypt). Writes the key line
// (handle, tag, kind, salt length, algorithm); otherwise line 4 (handle,
// tag, kind) and NTE_BAD_KEY.
bool CheckKey(const EntryFrame& frame, HCRYPTKEY hKey, bool decrypting) {
  unsigned kind = 0;
  if (IsValidHandle(HandleKind::Key, hKey)) {
    const KeyObject& key = *KeyFromHandle(hKey);
    kind = static_cast<unsigned>(key.head.kind);
    tv::WriteLog(tv::LogTrace, "", "%s. 3. %08X. %08X. %08X. %08X. %08X.", frame.Name(), static_cast<unsigned>(hKey),
                 static_cast<unsigned>(key.head.tag), kind, static_cast<unsigned>(key.session.saltLength),
                 static_cast<unsigned>(key.head.algorithm));
    if (key.IsSession() || IsRsaCryptKey(key, decrypting)) return true;
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
// flags (CRYPT_OAEP with an RSA key only), and the length pointer.
bool CheckCall(const EntryFrame& frame, HCRYPTPROV hProv, HCRYPTKEY hKey, HCRYPTHASH hHash, DWORD dwFlags,
               const DWORD* pdwDataLen, bool decrypting) {
  if (!frame.CheckHandle(HandleKind::Provider, hProv, 2)) return false;
  if (!CheckKey(frame, hKey, decrypting)) return false;
  if (hHash) {
    if (!frame.CheckHandle(HandleKind::Hash, hHash, 6)) return false;
    TraceHash(frame, hProv, hHash);
  }
  const DWORD accepted = KeyFromHandle(hKey)->IsSession() ? 0 : CRYPT_OAEP;
  if (dwFlags & ~accepted) return frame.Fail(7, NTE_BAD_FLAGS);
  if (!pdwDataLen) return frame.Fail(decrypting ? 16 : 14, ERROR_INVALID_PARAMETER);
  return true;
}

}  // namespace

extern "C" {

BOOL WINAPI CPEncrypt(HCRYPTPROV hProv, HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final,
                      DWORD dwFlags, BYTE* pbData, DWORD* pdwDataLen, DWORD dwBufLen) {
  const EntryFrame frame("CPEncrypt");
  frame.Enter({hProv, ProviderTag(hProv), hKey, hHash, static_cast<ULONG_PTR>(Final), dwFlags,
               TraceValue(pbData), pdwDataLen ? *pdwDataLen : 0, dwBufLen});
  if (!CheckCall(frame, hProv, hKey, hHash, dwFlags, pdwDataLen, false)) return FALSE;
  // The claimed data length may exceed the buffer; trace only the buffer.
  if (pbData) tv::LogHexDump(tv::LogInfo, frame.Name(), pbData, std::min(*pdwDataLen, dwBufLen));
  KeyObject& key = *KeyFromHandle(hKey);
  if (key.IsRsa())
    return EncryptWithRsa({frame, hProv, key, hHash, dwFlags == CRYPT_OAEP, pbData, pdwDataLen}, dwBufLen);
  const MessageCall call{frame, hProv, key.session, hHash, Final != FALSE, pbData, pdwDataLen};
  return EncryptMessage(call, dwBufLen);
}

BOOL WINAPI CPDecrypt(HCRYPTPROV hProv, HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final,
                      DWORD dwFlags, BYTE* pbData, DWORD* pdwDataLen) {
  const EntryFrame frame("CPDecrypt");
  frame.Enter({hProv, ProviderTag(hProv), hKey, hHash, static_cast<ULONG_PTR>(Final), dwFlags,
               TraceValue(pbData), pdwDataLen ? *pdwDataLen : 0});
  if (!CheckCall(frame, hProv, hKey, hHash, dwFlags, pdwDataLen, true)) return FALSE;
  if (pbData) tv::LogHexDump(tv::LogInfo, frame.Name(), pbData, *pdwDataLen);
  KeyObject& key = *KeyFromHandle(hKey);
  if (key.IsRsa()) return DecryptWithRsa({frame, hProv, key, hHash, dwFlags == CRYPT_OAEP, pbData, pdwDataLen});
  const MessageCall call{frame, hProv, key.session, hHash, Final != FALSE, pbData, pdwDataLen};
  return DecryptMessage(call);
}

}  // extern "C"
