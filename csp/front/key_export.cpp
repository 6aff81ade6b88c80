// CPExportKey's blobs: the kind and exportability rules, the sizes, and
// writing each blob type.
#include <algorithm>
#include <cstring>

#include "csp/crypto/cpu/byte_order.h"
#include "csp/crypto/cpu/wipe.h"
#include "csp/crypto/objects/pkcs1.h"
#include "csp/front/handles.h"
#include "csp/front/key_blobs.h"
#include "csp/front/object_handles.h"
#include "csp/front/random/random_generator.h"
#include "csp/front/rsa_block.h"
#include "csp/storage/stored_key_record.h"

namespace tv::csp {
namespace {

bool Failed(DWORD error) {
  SetLastError(error);
  return false;
}

// The key of a valid handle, or null.
const KeyObject* KeyOrNull(HCRYPTKEY handle) {
  return IsValidHandle(HandleKind::Key, handle) ? KeyFromHandle(handle) : nullptr;
}

// Why the key cannot be exported as `blobType`, or 0: its kind (a SIMPLEBLOB
// wraps a session key with an RSA key; the other types take RSA keys, the
// private one a pair and no export key), its exportability (public key
// blobs excepted), the blob type itself.
DWORD ExportRefusal(const KeyObject& key, HCRYPTKEY exportKey, DWORD blobType) {
  const KeyObject* wrapping = KeyOrNull(exportKey);
  const bool kindFits = blobType == SIMPLEBLOB
                            ? key.IsSession() && wrapping && wrapping->IsRsa()
                            : key.IsRsa() && (blobType != PRIVATEKEYBLOB || key.head.kind == KeyKind::RsaPair);
  if (!kindFits || (blobType == PRIVATEKEYBLOB && exportKey)) return static_cast<DWORD>(NTE_BAD_KEY);
  if (blobType != PUBLICKEYBLOB && !key.head.exportable) return static_cast<DWORD>(NTE_BAD_KEY_STATE);
  if (blobType != SIMPLEBLOB && blobType != PUBLICKEYBLOB && blobType != PRIVATEKEYBLOB)
    return static_cast<DWORD>(NTE_BAD_TYPE);
  return 0;
}

// The bytes a SIMPLEBLOB carries: key and salt together when the key has
// salt, else the key rounded up to whole bytes.
std::span<const std::uint8_t> WrappedKeyBytes(const SessionKey& session) {
  const bool salted = session.HasSalt() && session.saltLength >= 1;
  return {session.keyBytes.Data(), salted ? session.maxLength / 8 : (session.keyLength + 7) / 8};
}

std::size_t BlobSize(const KeyObject& key, HCRYPTKEY exportKey, DWORD blobType) {
  if (blobType == SIMPLEBLOB) return kBlobHeaderSize + sizeof(ALG_ID) + RsaBlockSize(*KeyOrNull(exportKey));
  return RsaBlobSize(key.rsa.keyLength, blobType == PRIVATEKEYBLOB);
}

void WriteHeader(BYTE* data, DWORD blobType, ALG_ID algorithm) {
  data[0] = static_cast<BYTE>(blobType);
  data[1] = kBlobVersion;
  data[2] = data[3] = 0;
  crypto::StoreLittleEndian32(data + 4, algorithm);
}

bool WriteSimpleBlob(const SessionKey& session, ALG_ID algorithm, const KeyObject& wrapping, BYTE* data) {
  const std::size_t size = RsaBlockSize(wrapping);
  crypto::WipingBuffer block(size);
  if (block.Size() != size) return Failed(NTE_NO_MEMORY);
  const std::span<std::uint8_t> blockBytes(block.Data(), size);
  GeneratorSource random;
  if (!EncodeEncryptionBlock(WrappedKeyBytes(session), blockBytes, random)) return Failed(NTE_BAD_LEN);
  if (!RsaPublicBlock(wrapping, blockBytes, blockBytes)) return Failed(NTE_FAIL);
  WriteHeader(data, SIMPLEBLOB, algorithm);
  crypto::StoreLittleEndian32(data + kBlobHeaderSize, wrapping.head.algorithm);
  std::reverse_copy(blockBytes.begin(), blockBytes.end(), data + kBlobHeaderSize + sizeof(ALG_ID));
  return true;
}

bool WriteRsaBlob(const KeyObject& key, DWORD blobType, BYTE* data, std::size_t size) {
  const bool withPrivate = blobType == PRIVATEKEYBLOB;
  std::memset(data, 0, size);
  WriteHeader(data, blobType, key.head.algorithm);
  crypto::StoreLittleEndian32(data + kBlobHeaderSize, withPrivate ? kPrivateKeyRecordMagic : kPublicKeyRecordMagic);
  crypto::StoreLittleEndian32(data + kBlobHeaderSize + 4, key.rsa.keyLength);
  const std::size_t fieldsAt = kBlobHeaderSize + kRsaPubKeySize - 4;
  if (WriteKeyFields(key.rsa.numbers, BlobWidths(key.rsa.keyLength), withPrivate,
                     std::span<std::uint8_t>(data + fieldsAt, size - fieldsAt)))
    return true;
  crypto::SecureWipe(data, size);
  return Failed(NTE_BAD_KEY);
}

}  // namespace

bool ExportKeyBlob(const KeyObject& key, HCRYPTKEY exportKey, DWORD blobType, BYTE* data, DWORD* length) {
  if (const DWORD error = ExportRefusal(key, exportKey, blobType)) return Failed(error);
  const std::size_t size = BlobSize(key, exportKey, blobType);
  if (!data) {
    *length = static_cast<DWORD>(size);
    return true;
  }
  if (*length < size) return Failed(ERROR_MORE_DATA);
  const bool written = blobType == SIMPLEBLOB
                           ? WriteSimpleBlob(key.session, key.head.algorithm, *KeyOrNull(exportKey), data)
                           : WriteRsaBlob(key, blobType, data, size);
  if (!written) return false;
  *length = static_cast<DWORD>(size);
  return true;
}

}  // namespace tv::csp
