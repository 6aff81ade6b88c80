// CPImportKey's blobs: the header and flag rules, unwrapping a SIMPLEBLOB,
// reading an RSA key blob, and keeping an imported pair in the context and
// its container.
#include <algorithm>
#include <cstring>

#include "common/trace_log.h"
#include "csp/crypto/cpu/byte_order.h"
#include "csp/crypto/cpu/wipe.h"
#include "csp/crypto/objects/key_params.h"
#include "csp/crypto/objects/pkcs1.h"
#include "csp/front/handles.h"
#include "csp/front/key_blobs.h"
#include "csp/front/object_handles.h"
#include "csp/front/random/random_generator.h"
#include "csp/front/random/thread_instance.h"
#include "csp/front/rsa_block.h"

namespace tv::csp {
namespace {

constexpr DWORD kImportKeyFlags = CRYPT_EXPORTABLE | CRYPT_USER_PROTECTED | CRYPT_CREATE_SALT | CRYPT_NO_SALT;

struct BlobHeader {
  std::uint8_t type;
  std::uint8_t version;
  ALG_ID algorithm;
};

KeyObject* Fail(DWORD error) {
  SetLastError(error);
  return nullptr;
}

// Fails with `error`, freeing the key made so far.
KeyObject* Discard(KeyObject* key, DWORD error) {
  FreeKeyObject(key);
  return Fail(error);
}

bool AcceptedImportFlags(DWORD flags, ALG_ID algorithm) {
  if (!(flags & kImportKeyFlags) && flags) return false;
  return !(flags & CRYPT_CREATE_SALT) || algorithm == CALG_RC2;
}

// The session key carried by a SIMPLEBLOB body (wrapping ALG_ID, then the
// encrypted block), unwrapped with the pair behind `importKey`. Every fault
// of the block itself gives the same error, so that the answer tells
// nothing about where the block went wrong.
KeyObject* ImportSimpleBlob(const BlobHeader& header, std::span<const std::uint8_t> body, HCRYPTKEY importKey,
                            DWORD flags) {
  if (!IsValidHandle(HandleKind::Key, importKey) || KeyFromHandle(importKey)->head.kind != KeyKind::RsaPair)
    return Fail(NTE_BAD_KEY);
  const KeyObject& pair = *KeyFromHandle(importKey);
  if (body.size() < sizeof(ALG_ID)) return Fail(NTE_BAD_DATA);
  if (crypto::LoadLittleEndian32(body.data()) != pair.head.algorithm) return Fail(NTE_BAD_ALGID);
  const std::size_t size = RsaBlockSize(pair);
  if (body.size() < sizeof(ALG_ID) + size) return Fail(NTE_BAD_DATA);
  crypto::WipingBuffer block(size);
  if (block.Size() != size) return Fail(NTE_NO_MEMORY);
  const std::span<std::uint8_t> blockBytes(block.Data(), size);
  const std::span<const std::uint8_t> encrypted = body.subspan(sizeof(ALG_ID), size);
  std::reverse_copy(encrypted.begin(), encrypted.end(), blockBytes.begin());
  std::span<const std::uint8_t> keyBytes;
  if (!RsaPrivateBlock(pair, blockBytes, blockBytes) || !DecodeEncryptionBlock(blockBytes, keyBytes) ||
      keyBytes.empty())
    return Fail(NTE_BAD_ALGID);

  GeneratorSource random;
  const DWORD keyBits = static_cast<DWORD>(keyBytes.size() * 8);
  KeyObject* key = CreateSessionKey(header.algorithm, (flags & 0xFFFF) | (keyBits << 16), random);
  if (!key) return nullptr;
  std::copy(keyBytes.begin(), keyBytes.end(), key->session.keyBytes.Data());
  if (!key->session.Setup(true)) return Discard(key, GetLastError());
  return key;
}

// The RSA key of a PUBLICKEYBLOB or PRIVATEKEYBLOB body (RSAPUBKEY, then
// the key's numbers).
KeyObject* ImportRsaBlob(ProvContext& context, const BlobHeader& header, std::span<const std::uint8_t> body,
                         HCRYPTKEY importKey, DWORD flags) {
  const bool withPrivate = header.type == PRIVATEKEYBLOB;
  if ((flags & CRYPT_USER_PROTECTED) && context.silent) return Fail(NTE_SILENT_CONTEXT);
  if (header.algorithm != CALG_RSA_KEYX && header.algorithm != CALG_RSA_SIGN) return Fail(NTE_BAD_ALGID);
  // A private key blob under an import key would be encrypted, and read as
  // clear numbers it would replace the container's pair with garbage.
  if (withPrivate && importKey) return Fail(NTE_BAD_KEY);
  if (body.size() < kRsaPubKeySize) return Fail(NTE_BAD_DATA);
  const std::uint32_t bits = crypto::LoadLittleEndian32(body.data() + 4);
  KeyObject* key = CreateRsaKey(withPrivate ? KeyKind::RsaPair : KeyKind::RsaPublic, header.algorithm, bits, flags);
  if (!key) return nullptr;
  const std::span<const std::uint8_t> fields = body.subspan(kRsaPubKeySize - 4);
  ThreadInstance* instance = CurrentThreadInstance();
  if (!instance) return Discard(key, NTE_NO_MEMORY);
  instance->arithmetic.Reset();
  if (fields.size() < KeyFieldsSize(BlobWidths(bits), withPrivate) ||
      !ReadKeyFields(fields, BlobWidths(bits), withPrivate, key->rsa.numbers, instance->arithmetic))
    return Discard(key, NTE_BAD_DATA);
  if (withPrivate && !KeepPair(context, *key, flags)) return Discard(key, GetLastError());
  return key;
}

}  // namespace

KeyObject* ImportKeyBlob(ProvContext& context, std::span<const std::uint8_t> blob, HCRYPTKEY importKey,
                         DWORD flags) {
  if (blob.size() < kBlobHeaderSize) return Fail(NTE_BAD_DATA);
  const BlobHeader header = {blob[0], blob[1], crypto::LoadLittleEndian32(blob.data() + 4)};
  WriteLog(LogTrace, "", "CPImportKey. 2. %08X.", static_cast<unsigned>(header.version));
  if (header.version != kBlobVersion) return Fail(NTE_BAD_VER);
  if (!AcceptedImportFlags(flags, header.algorithm)) return Fail(NTE_BAD_FLAGS);
  const std::span<const std::uint8_t> body = blob.subspan(kBlobHeaderSize);
  switch (header.type) {
    case SIMPLEBLOB: return ImportSimpleBlob(header, body, importKey, flags);
    case PUBLICKEYBLOB:
    case PRIVATEKEYBLOB: return ImportRsaBlob(context, header, body, importKey, flags);
    default: return Fail(NTE_BAD_TYPE);
  }
}

}  // namespace tv::csp
