// PKCS#1 v1.5 blocks (RFC 8017, section 9.2 and 7.2) as the provider builds
// and reads them: k bytes, most significant byte first, the number to which
// the RSA operation is applied.
//
//   signature block (type 1):  00 01 FF..FF 00 [DigestInfo header] hash
//   key-wrapping block (type 2): 00 02 non-zero random bytes 00 key
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

// Writes the key-wrapping block of `key` into all of `block`, the padding
// drawn from `random` byte by byte until each is non-zero. False when fewer
// than eight padding bytes fit, `key` is empty or the source fails.
bool EncodeKeyWrapBlock(std::span<const std::uint8_t> key, std::span<std::uint8_t> block,
                        crypto::RandomSource& random);

// The key a key-wrapping block carries: after 00 02, at least eight
// non-zero bytes and the 00 separator, at least one byte. False for any
// other block.
bool DecodeKeyWrapBlock(std::span<const std::uint8_t> block, std::span<const std::uint8_t>& key);

}  // namespace tv::csp
