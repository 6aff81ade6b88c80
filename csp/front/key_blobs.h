// CryptoAPI key blobs: SIMPLEBLOB (a session key wrapped with an RSA public
// key), PUBLICKEYBLOB and PRIVATEKEYBLOB (RSA keys, the private one in the
// clear). Every blob starts with a BLOBHEADER; all integers and numbers are
// little-endian.
//
//   SIMPLEBLOB      header, ALG_ID of the wrapping key, the encrypted
//                   key-wrapping block (k bytes of the wrapping key)
//   PUBLICKEYBLOB   header, RSAPUBKEY ("RSA1", bitlen, pubexp), modulus
//   PRIVATEKEYBLOB  header, RSAPUBKEY ("RSA2", ...), modulus, prime1, prime2,
//                   exponent1, exponent2, coefficient, private exponent
//
// The modulus and the private exponent take bitlen / 8 bytes, the other
// numbers bitlen / 16 (both rounded up: BlobWidths).
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <cstdint>
#include <span>

#include "csp/crypto/objects/key_object.h"
#include "csp/front/prov_context.h"
#include "csp/storage/key_fields.h"

namespace tv::csp {

inline constexpr std::size_t kBlobHeaderSize = 8;  // BLOBHEADER
inline constexpr std::size_t kRsaPubKeySize = 12;  // RSAPUBKEY, pubexp included
inline constexpr std::uint8_t kBlobVersion = CUR_BLOB_VERSION;

// Bytes of a PUBLICKEYBLOB or PRIVATEKEYBLOB of a `bits`-bit key. The key
// fields begin with the exponent, which is RSAPUBKEY's last member.
constexpr std::size_t RsaBlobSize(std::uint32_t bits, bool withPrivate) {
  return kBlobHeaderSize + kRsaPubKeySize - 4 + KeyFieldsSize(BlobWidths(bits), withPrivate);
}

// Writes the blob of `key` of `blobType`; `exportKey` is CPExportKey's
// hPubKey: the RSA key that wraps a SIMPLEBLOB. A private key blob is only
// written in the clear, so an export key given for one is refused rather
// than ignored. A null data asks for the size; a short buffer gives
// ERROR_MORE_DATA. False with the last error set; a failure leaves no key
// material in the caller's buffer.
bool ExportKeyBlob(const KeyObject& key, HCRYPTKEY exportKey, DWORD blobType, BYTE* data, DWORD* length);

// Makes the key a blob carries. A SIMPLEBLOB is unwrapped with the context's
// pair given as `importKey`; a PRIVATEKEYBLOB (never encrypted, so an
// import key is refused) also replaces the context's pair of its algorithm
// and is stored in the container. Blobs shorter than their layout and
// malformed key-wrapping blocks are refused. Null with the last error set.
KeyObject* ImportKeyBlob(ProvContext& context, std::span<const std::uint8_t> blob, HCRYPTKEY importKey,
                         DWORD flags);

}  // namespace tv::csp
