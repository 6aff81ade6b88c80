#include "csp/front/signature.h"

#include <algorithm>

#include "common/trace_log.h"
#include "csp/crypto/cpu/wipe.h"
#include "csp/crypto/objects/pkcs1.h"
#include "csp/front/context_acquisition.h"
#include "csp/front/cp_entries.h"
#include "csp/front/prov_context.h"
#include "csp/front/rsa_block.h"

namespace tv::csp {
namespace {

struct HashValue {
  ALG_ID algorithm = 0;
  crypto::WipingBuffer bytes;

  std::span<const std::uint8_t> Bytes() const { return {bytes.Data(), bytes.Size()}; }
};

// The hash's algorithm and value, read through the provider's own entry
// (which finishes the hash); false with that entry's error.
bool ReadHashValue(HCRYPTPROV provider, HCRYPTHASH hash, HashValue& value) {
  DWORD length = sizeof value.algorithm;
  if (!CPGetHashParam(provider, hash, HP_ALGID, reinterpret_cast<BYTE*>(&value.algorithm), &length, 0))
    return false;
  DWORD size = 0;
  if (!CPGetHashParam(provider, hash, HP_HASHVAL, nullptr, &size, 0)) return false;
  value.bytes = crypto::WipingBuffer(size);
  if (value.bytes.Size() != size) {
    SetLastError(NTE_NO_MEMORY);
    return false;
  }
  return CPGetHashParam(provider, hash, HP_HASHVAL, value.bytes.Data(), &size, 0);
}

// "<entry>. <step>. <value>. <first eight bytes in hex>." at level 3.
void TraceBytes(const EntryFrame& frame, int step, std::size_t value, std::span<const std::uint8_t> bytes) {
  std::uint8_t head[8] = {};
  std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), sizeof head), head);
  WriteLog(LogTrace, "", "%s. %d. %08X. %02X%02X%02X%02X%02X%02X%02X%02X.", frame.Name(), step,
           static_cast<unsigned>(value), head[0], head[1], head[2], head[3], head[4], head[5], head[6], head[7]);
}

// Reverses between CryptoAPI's byte order and the arithmetic's.
void CopyReversed(std::span<const std::uint8_t> from, std::uint8_t* to) {
  std::reverse_copy(from.begin(), from.end(), to);
}

BOOL SignWithPair(const EntryFrame& frame, HCRYPTPROV provider, HCRYPTHASH hash, const KeyObject& pair,
                  DWORD flags, BYTE* signature, DWORD* length) {
  const std::size_t size = RsaBlockSize(pair);
  HashValue value;
  if (!ReadHashValue(provider, hash, value)) {
    const DWORD error = GetLastError();
    WriteLog(LogError, "", "CPSignHash. 11. %08X. %08X.", static_cast<unsigned>(error), static_cast<unsigned>(hash));
    return frame.Refuse(error);
  }
  crypto::WipingBuffer block(size);
  if (block.Size() != size) return frame.Fail(9, NTE_NO_MEMORY);
  const std::span<std::uint8_t> blockBytes(block.Data(), size);
  const std::span<const std::uint8_t> header =
      (flags & CRYPT_NOHASHOID) ? std::span<const std::uint8_t>() : DigestInfoHeader(value.algorithm);
  // The block has no room for the value behind eight padding bytes: a
  // hash too long for this key.
  if (!EncodeSignatureBlock(header, value.Bytes(), blockBytes)) return frame.Fail(12, NTE_BAD_LEN);
  TraceBytes(frame, 12, value.bytes.Size(), blockBytes);
  if (!RsaPrivateBlock(pair, blockBytes, blockBytes)) return frame.Fail(15, NTE_BAD_SIGNATURE);
  TraceBytes(frame, 13, size, blockBytes);
  CopyReversed(blockBytes, signature);
  TraceBytes(frame, 14, size, {signature, size});
  if (std::all_of(signature, signature + 8, [](BYTE b) { return b == 0; })) return frame.Fail(15, NTE_BAD_SIGNATURE);
  *length = static_cast<DWORD>(size);
  WriteLog(LogTrace, "", "CPSignHash. 16. %08X.", static_cast<unsigned>(size));
  LogHexDump(LogInfo, frame.Name(), signature, size);
  SetLastError(0);
  return TRUE;
}

}  // namespace

BOOL SignHash(const EntryFrame& frame, HCRYPTPROV provider, HCRYPTHASH hash, DWORD keySpec, DWORD flags,
              BYTE* signature, DWORD* length) {
  ProvContext& context = *ContextFromHandle(provider);
  if (!EnsureKeyPairsLoaded(context)) return frame.Fail(14, GetLastError());
  KeyObject** pair = context.PairFor(keySpec);
  if (!pair) return frame.Fail(6, NTE_BAD_TYPE);
  if (!*pair) return frame.Fail(7, NTE_NO_KEY);
  const DWORD size = static_cast<DWORD>(RsaBlockSize(**pair));
  if (!signature) {
    *length = size;
    WriteLog(LogTrace, "", "CPSignHash. 16. %08X.", static_cast<unsigned>(size));
    SetLastError(0);
    return TRUE;
  }
  if (*length < size) {
    WriteLog(LogError, "", "CPSignHash. 8. %08X. %08X.", static_cast<unsigned>(*length), static_cast<unsigned>(size));
    return frame.Refuse(ERROR_MORE_DATA);
  }
  return SignWithPair(frame, provider, hash, **pair, flags, signature, length);
}

BOOL VerifySignature(const EntryFrame& frame, HCRYPTPROV provider, HCRYPTHASH hash,
                     std::span<const std::uint8_t> signature, const KeyObject& key, DWORD flags) {
  LogHexDump(LogInfo, frame.Name(), signature.data(), signature.size());
  HashValue value;
  if (!ReadHashValue(provider, hash, value)) {
    const DWORD error = GetLastError();
    WriteLog(LogError, "", "CPVerifySignature. 10. %08X. %08X.", static_cast<unsigned>(error),
             static_cast<unsigned>(hash));
    return frame.Refuse(error);
  }
  const std::size_t size = RsaBlockSize(key);
  crypto::WipingBuffer block(size);
  if (block.Size() != size) return frame.Fail(8, NTE_NO_MEMORY);
  const std::span<std::uint8_t> blockBytes(block.Data(), size);
  bool valid = signature.size() == size;
  if (valid) {
    CopyReversed(signature, blockBytes.data());
    valid = RsaPublicBlock(key, blockBytes, blockBytes);
    TraceBytes(frame, 11, size, blockBytes);
  }
  if (!valid || !IsSignatureBlock(blockBytes, value.algorithm, value.Bytes(), flags & CRYPT_NOHASHOID)) {
    WriteLog(LogError, "", "CPVerifySignature. 12. %08X.", static_cast<unsigned>(signature.size()));
    LogHexDump(LogError, frame.Name(), value.bytes.Data(), value.bytes.Size());
    LogHexDump(LogError, frame.Name(), blockBytes.data(), blockBytes.size());
    WriteLog(LogError, "", "CPVerifySignature. 13. %08X. %08X.", static_cast<unsigned>(NTE_BAD_SIGNATURE),
             static_cast<unsigned>(size));
    return frame.Refuse(NTE_BAD_SIGNATURE);
  }
  WriteLog(LogTrace, "", "CPVerifySignature. 14.");
  SetLastError(0);
  return TRUE;
}

}  // namespace tv::csp
