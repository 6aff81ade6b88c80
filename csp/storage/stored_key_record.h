// The stored key record: how one RSA key is kept at rest by every storage
// backend, and what ReadKeyContainer returns and WriteKeyContainer takes.
//
//   offset 0   magic "RSA1" (public record) or "RSA2" (private record)
//          4   field length n = ((bits / 8) rounded up to a multiple of 8) + 8
//          8   modulus length in bits
//         12   bits / 8 - 1 (not read back)
//         16   the key fields (key_fields.h) with widths n and n / 2
//
// All integers little-endian. A public record is n + 20 bytes; a private
// one 5n + 20, its last n / 2 bytes zero.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "csp/crypto/rsa/rsa.h"
#include "csp/crypto/rsa/rsa_key.h"

namespace tv::csp {

inline constexpr std::uint32_t kPublicKeyRecordMagic = 0x31415352;   // "RSA1"
inline constexpr std::uint32_t kPrivateKeyRecordMagic = 0x32415352;  // "RSA2"

// Field length n for a modulus of `bits` bits.
constexpr std::size_t StoredKeyFieldLength(std::uint32_t bits) { return (bits / 8 + 7) / 8 * 8 + 8; }

// Size of the record of a key of `bits` bits; 0 for a length outside the
// provider's RSA range.
constexpr std::size_t StoredKeyRecordSize(std::uint32_t bits, bool withPrivate) {
  if (bits < crypto::kRsaMinBits || bits > crypto::kRsaMaxBits) return 0;
  const std::size_t n = StoredKeyFieldLength(bits);
  return (withPrivate ? 5 * n : n) + 20;
}

// The largest record of any key the provider handles.
inline constexpr std::size_t kMaxStoredKeyRecordSize = StoredKeyRecordSize(crypto::kRsaMaxBits, true);

// Writes the public (n, e) or private record of `key` into the first
// StoredKeyRecordSize bytes of out. False when out is shorter, bits is out
// of range, the modulus is longer than bits, e needs more than 32 bits or a
// number is wider than its field.
bool EncodeStoredKeyRecord(const crypto::RsaKey& key, std::uint32_t bits, bool withPrivate,
                           std::span<std::uint8_t> out);

// Reads a public or private record, as its magic says, into key and its bit
// length into bits (set as soon as the header is read). Refused: a record
// shorter than its header or than the size its header implies, another
// magic, a bit length out of range, a field length that does not belong to
// the bit length, and a modulus longer than the bit length. Bytes after the
// record are ignored.
bool DecodeStoredKeyRecord(std::span<const std::uint8_t> record, crypto::RsaKey& key, std::uint32_t& bits);

}  // namespace tv::csp
