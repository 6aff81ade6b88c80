#include "csp/front/symmetric_crypt.h"

#include <optional>
#include <span>

#include "common/trace_log.h"
#include "csp/crypto/objects/session_crypt.h"
#include "csp/front/cp_entries.h"
#include "csp/front/handles.h"

namespace tv::csp {
namespace {

// The chaining a key encrypts with; empty when its KP_MODE offers none (the
// stream cipher ignores the mode).
std::optional<crypto::CipherMode> KeyChaining(const SessionKey& key) {
  if (key.IsStream()) return crypto::CipherMode::Ecb;
  return ChainingMode(key.mode);
}

BOOL RefuseMode(const MessageCall& call, int step) {
  WriteLog(LogError, "", "%s. %d. %08X. %08X.", call.frame.Name(), step,
           static_cast<unsigned>(NTE_NOT_SUPPORTED), static_cast<unsigned>(call.key.mode));
  return call.frame.Refuse(NTE_NOT_SUPPORTED);
}

bool FeedHash(const MessageCall& call, std::span<const std::uint8_t> plaintext) {
  return !call.hash ||
         CPHashData(call.provider, call.hash, plaintext.data(), static_cast<DWORD>(plaintext.size()), 0);
}

// Runs the cipher over the whole message, then restarts the key's chaining
// from its IV after a final piece; false with the last error set.
bool Transform(const MessageCall& call, std::span<std::uint8_t> message, crypto::CipherMode chaining,
               bool encrypt) {
  SessionKey& key = call.key;
  const bool done = encrypt ? key.Encrypt(message.data(), message.size(), chaining)
                            : key.Decrypt(message.data(), message.size(), chaining);
  if (!done) {
    SetLastError(NTE_FAIL);
    return false;
  }
  return !call.final || key.Setup(true);
}

// The end of a successful call: the result's length, the output at level 5.
BOOL Finish(const MessageCall& call, DWORD resultLength) {
  *call.length = resultLength;
  if (call.data) LogHexDump(LogInfo, call.frame.Name(), call.data, resultLength);
  SetLastError(0);
  return TRUE;
}

// A hash that refused the plaintext: its error, with the hash handle, its
// tag, the data and the count that was offered.
BOOL RefuseHashing(const MessageCall& call, std::size_t offered) {
  const DWORD error = GetLastError();
  WriteLog(LogError, "", "CPEncrypt. 10. %08X. %08X. %08X. %08X. %08X.", static_cast<unsigned>(error),
           static_cast<unsigned>(call.hash), static_cast<unsigned>(TagOf(HandleKind::Hash, call.hash)),
           static_cast<unsigned>(TraceValue(call.data)), static_cast<unsigned>(offered));
  return call.frame.Refuse(error);
}

BOOL RefusePadding(const MessageCall& call, const PaddingCheck& check, std::span<const std::uint8_t> message) {
  const unsigned last = message.empty() ? 0 : message.back();
  switch (check.fault) {
    case PaddingFault::BadPadCount:
      WriteLog(LogError, "", "CPDecrypt. 10. %08X. %08X. %08X.", last, static_cast<unsigned>(call.key.blockLength),
               static_cast<unsigned>(message.size()));
      break;
    case PaddingFault::UnequalPadBytes:
      WriteLog(LogError, "", "CPDecrypt. 11. %08X. %08X.", last, static_cast<unsigned>(check.faultValue));
      break;
    default:  // NoZeroPad
      WriteLog(LogError, "", "CPDecrypt. 12. %08X. %08X.", last, static_cast<unsigned>(message.size()));
      break;
  }
  return call.frame.Refuse(NTE_BAD_DATA);
}

}  // namespace

BOOL EncryptMessage(const MessageCall& call, DWORD bufferLength) {
  const SessionKey& key = call.key;
  const DWORD length = *call.length;
  const std::uint32_t block = key.blockLength;
  const std::optional<crypto::CipherMode> chaining = KeyChaining(key);
  if (!chaining) return RefuseMode(call, 12);
  if (!key.IsStream() && !call.final && length % block != 0) {
    WriteLog(LogError, "", "CPEncrypt. 9. %08X. %08X.", static_cast<unsigned>(length), static_cast<unsigned>(block));
    return call.frame.Refuse(NTE_BAD_DATA);
  }
  const std::uint64_t result = !key.IsStream() && call.final ? PaddedLength(length, block) : length;
  const bool fits = call.data ? result <= bufferLength : result <= MAXDWORD;
  if (!fits) {
    WriteLog(LogError, "", "CPEncrypt. 8. %08X. %08X. %08X. %08X.", static_cast<unsigned>(bufferLength),
             static_cast<unsigned>(length), static_cast<unsigned>(block), static_cast<unsigned>(result));
    if (result > MAXDWORD) return call.frame.Refuse(NTE_BAD_LEN);
    *call.length = static_cast<DWORD>(result);
    return call.frame.Refuse(ERROR_MORE_DATA);
  }
  if (call.data) {
    const std::span<std::uint8_t> message(call.data, static_cast<std::size_t>(result));
    WritePadding(message.subspan(length), key.padding);
    const std::size_t hashed = key.padding == PKCS5_PADDING ? length : message.size();
    if (!FeedHash(call, message.first(hashed))) return RefuseHashing(call, hashed);
    if (!Transform(call, message, *chaining, true)) return call.frame.Fail(13, GetLastError());
  }
  WriteLog(LogTrace, "", "CPEncrypt. 11. %08X", static_cast<unsigned>(result));
  return Finish(call, static_cast<DWORD>(result));
}

BOOL DecryptMessage(const MessageCall& call) {
  const SessionKey& key = call.key;
  const DWORD length = *call.length;
  const std::uint32_t block = key.blockLength;
  const std::optional<crypto::CipherMode> chaining = KeyChaining(key);
  if (!chaining) return RefuseMode(call, 14);
  if (!key.IsStream() && length % block != 0) {
    WriteLog(LogError, "", "CPDecrypt. 8. %08X. %08X. %08X.", static_cast<unsigned>(length),
             static_cast<unsigned>(block), static_cast<unsigned>(length % block));
    return call.frame.Refuse(NTE_BAD_DATA);
  }
  DWORD kept = length;
  if (call.data) {
    const std::span<std::uint8_t> message(call.data, length);
    // A zero-length piece tells whether the hash still takes data, so that a
    // finished hash refuses the call before the message is touched.
    if (!FeedHash(call, message.first(0))) return call.frame.Fail(9, GetLastError());
    if (!Transform(call, message, *chaining, false)) return call.frame.Fail(15, GetLastError());
    if (call.final && !key.IsStream()) {
      const PaddingCheck check = CheckPadding(message, block, key.padding);
      if (check.fault != PaddingFault::None) return RefusePadding(call, check, message);
      kept = length - check.padBytes;
    }
    if (!FeedHash(call, message.first(kept))) return call.frame.Fail(9, GetLastError());
  }
  WriteLog(LogTrace, "", "CPDecrypt. 13. %08X.", static_cast<unsigned>(kept));
  return Finish(call, kept);
}

}  // namespace tv::csp
