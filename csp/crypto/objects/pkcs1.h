// PKCS#1 blocks (RFC 8017, sections 9.2, 7.2 and 7.1) as the provider builds
// and reads them: k bytes, most significant byte first, the number to which
// the RSA operation is applied.
//
//   signature block (type 1):  00 01 FF..FF 00 [DigestInfo header] hash
//   encryption block (type 2): 00 02 non-zero random bytes 00 message
//
// Both carry at least eight padding bytes; a shorter run is neither built
// nor accepted.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <cstdint>
#include <span>

#include "csp/crypto/bignum/random_source.h"

namespace tv::csp {

inline constexpr std::size_t kMinBlockPadding = 8;

// The DER header of the DigestInfo of `hashAlgorithm` (SEQUENCE, algorithm
// identifier, OCTET STRING tag and length), which the hash value follows
// directly. Empty for hashes without an object identifier (CALG_SSL3_SHAMD5,
// CALG_MAC, CALG_HMAC and any other): their values are signed bare.
std::span<const std::uint8_t> DigestInfoHeader(ALG_ID hashAlgorithm);

// Writes the signature block of `hash` behind `header` (empty for the bare
// form) into all of `block`. False when the block cannot hold them behind
// eight FF bytes.
bool EncodeSignatureBlock(std::span<const std::uint8_t> header, std::span<const std::uint8_t> hash,
                          std::span<std::uint8_t> block);

// Whether `block` is exactly the signature block of `hash`: the bare form,
// or (unless bareOnly) the form with the DigestInfo of `hashAlgorithm`.
// Nothing else passes: no other padding byte, no shorter run, no other
// algorithm identifier, no bytes after the hash.
bool IsSignatureBlock(std::span<const std::uint8_t> block, ALG_ID hashAlgorithm,
                      std::span<const std::uint8_t> hash, bool bareOnly);

// Encryption blocks (type 2), for RSA encryption and for wrapping session
// keys: the largest message a block of `blockSize` bytes carries behind
// eight padding bytes (0 when none fits).
std::size_t MaxPkcs1Message(std::size_t blockSize);

// Writes the encryption block of `message` (which may be empty) into all of
// `block`, the padding drawn from `random` byte by byte until each is
// non-zero. False when fewer than eight padding bytes fit or the source
// fails.
bool EncodeEncryptionBlock(std::span<const std::uint8_t> message, std::span<std::uint8_t> block,
                           crypto::RandomSource& random);

// The message an encryption block carries: after 00 02, at least eight
// non-zero bytes and the 00 separator, the rest (possibly nothing). False
// for any other block; the time taken does not depend on where a block
// goes wrong.
bool DecodeEncryptionBlock(std::span<const std::uint8_t> block, std::span<const std::uint8_t>& message);

// OAEP blocks (PKCS#1 v2, CRYPT_OAEP): SHA-1, MGF1 with SHA-1, empty label.
// The largest message a block of `blockSize` bytes carries (k - 42).
std::size_t MaxOaepMessage(std::size_t blockSize);

// Writes the OAEP block of `message` into all of `block` with a random seed.
// False when the message does not fit or the source fails.
bool EncodeOaepBlock(std::span<const std::uint8_t> message, std::span<std::uint8_t> block,
                     crypto::RandomSource& random);

// Unmasks an OAEP block in place and gives the message it carries. False
// for any malformed block, with every check made whatever the first fault.
bool DecodeOaepBlock(std::span<std::uint8_t> block, std::span<const std::uint8_t>& message);

}  // namespace tv::csp
