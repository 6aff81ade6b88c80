#include "csp/front/rsa_crypt.h"

#include <algorithm>
#include <cstring>

#include "common/trace_log.h"
#include "csp/crypto/cpu/wipe.h"
#include "csp/crypto/objects/pkcs1.h"
#include "csp/front/context_acquisition.h"
#include "csp/front/cp_entries.h"
#include "csp/front/prov_context.h"
#include "csp/front/random/random_generator.h"
#include "csp/front/rsa_block.h"

namespace tv::csp {
namespace {

// Failure lines of the RSA work, after those of the session-key work.
constexpr int kEncryptFailStep = 15;
constexpr int kDecryptFailStep = 17;
constexpr char kEncryptClosing[] = "CPEncrypt. 11. %08X";
constexpr char kDecryptClosing[] = "CPDecrypt. 13. %08X.";

std::size_t MaxMessage(const RsaMessageCall& call) {
  const std::size_t size = RsaBlockSize(call.key);
  return call.oaep ? MaxOaepMessage(size) : MaxPkcs1Message(size);
}

bool FeedHash(const RsaMessageCall& call, std::span<const std::uint8_t> message) {
  return !call.hash ||
         CPHashData(call.provider, call.hash, message.data(), static_cast<DWORD>(message.size()), 0);
}

// The closing line (the result's length, in the session-key entries'
// format) and the output at level 5.
BOOL Finish(const RsaMessageCall& call, DWORD resultLength, const char* closingLine) {
  *call.length = resultLength;
  WriteLog(LogTrace, "", closingLine, static_cast<unsigned>(resultLength));
  if (call.data) LogHexDump(LogInfo, call.frame.Name(), call.data, resultLength);
  SetLastError(0);
  return TRUE;
}

// The message carried by a decrypted block; the block is unmasked in place.
bool DecodeBlock(const RsaMessageCall& call, std::span<std::uint8_t> block, std::span<const std::uint8_t>& message) {
  return call.oaep ? DecodeOaepBlock(block, message) : DecodeEncryptionBlock(block, message);
}

}  // namespace

bool IsRsaCryptKey(const KeyObject& key, bool decrypting) {
  if (!key.IsRsa() || key.head.algorithm != CALG_RSA_KEYX) return false;
  return !decrypting || key.head.kind == KeyKind::RsaPair;
}

BOOL EncryptWithRsa(const RsaMessageCall& call, DWORD bufferLength) {
  const DWORD length = *call.length;
  const DWORD size = static_cast<DWORD>(RsaBlockSize(call.key));
  if (length > MaxMessage(call)) return call.frame.Fail(kEncryptFailStep, NTE_BAD_LEN);
  if (!call.data) return Finish(call, size, kEncryptClosing);
  if (bufferLength < size) {
    *call.length = size;
    return call.frame.Fail(kEncryptFailStep, ERROR_MORE_DATA);
  }
  const std::span<const std::uint8_t> message(call.data, length);
  if (!FeedHash(call, message)) return call.frame.Fail(10, GetLastError());
  crypto::WipingBuffer block(size);
  if (block.Size() != size) return call.frame.Fail(kEncryptFailStep, NTE_NO_MEMORY);
  const std::span<std::uint8_t> blockBytes(block.Data(), size);
  GeneratorSource random;
  const bool encoded = call.oaep ? EncodeOaepBlock(message, blockBytes, random)
                                 : EncodeEncryptionBlock(message, blockBytes, random);
  if (!encoded || !RsaPublicBlock(call.key, blockBytes, blockBytes))
    return call.frame.Fail(kEncryptFailStep, NTE_FAIL);
  std::reverse_copy(blockBytes.begin(), blockBytes.end(), call.data);
  return Finish(call, size, kEncryptClosing);
}

BOOL DecryptWithRsa(const RsaMessageCall& call) {
  const DWORD size = static_cast<DWORD>(RsaBlockSize(call.key));
  if (!EnsureKeyPairsLoaded(*ContextFromHandle(call.provider))) return call.frame.Fail(kDecryptFailStep, GetLastError());
  if (!call.data) return Finish(call, size, kDecryptClosing);
  if (*call.length != size) return call.frame.Fail(kDecryptFailStep, NTE_BAD_DATA);
  crypto::WipingBuffer block(size);
  if (block.Size() != size) return call.frame.Fail(kDecryptFailStep, NTE_NO_MEMORY);
  const std::span<std::uint8_t> blockBytes(block.Data(), size);
  std::reverse_copy(call.data, call.data + size, blockBytes.begin());
  // A ciphertext that is no number below the modulus and a block with bad
  // padding answer alike.
  std::span<const std::uint8_t> message;
  if (!RsaPrivateBlock(call.key, blockBytes, blockBytes) || !DecodeBlock(call, blockBytes, message))
    return call.frame.Fail(kDecryptFailStep, NTE_BAD_DATA);
  if (!FeedHash(call, message)) return call.frame.Fail(9, GetLastError());
  std::memcpy(call.data, message.data(), message.size());
  return Finish(call, static_cast<DWORD>(message.size()), kDecryptClosing);
}

}  // namespace tv::csp
