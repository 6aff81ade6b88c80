// The numbers of an RSA key as consecutive little-endian fields of fixed
// widths: the public exponent as a 32-bit number, the modulus, and for a
// private key prime1, prime2, exponent1, exponent2, coefficient and the
// private exponent. Stored key records and CryptoAPI key blobs share this
// layout and differ only in the widths.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "csp/crypto/bignum/bignum.h"
#include "csp/crypto/rsa/rsa_key.h"

namespace tv::csp {

struct KeyFieldWidths {
  std::size_t modulus;  // modulus and private exponent
  std::size_t half;     // the two primes, the two CRT exponents and the coefficient
};

// Widths in a stored key record of field length n: n and n / 2.
constexpr KeyFieldWidths StoredRecordWidths(std::size_t fieldLength) { return {fieldLength, fieldLength / 2}; }
// Widths in a key blob of `bits` bits: bits / 8 and bits / 16, each rounded
// up so that the numbers of a key whose length is not a multiple of 16 fit.
constexpr KeyFieldWidths BlobWidths(std::size_t bits) { return {(bits + 7) / 8, (bits + 15) / 16}; }

// Bytes the fields take, the 4-byte exponent included.
constexpr std::size_t KeyFieldsSize(KeyFieldWidths widths, bool withPrivate) {
  return 4 + widths.modulus + (withPrivate ? 5 * widths.half + widths.modulus : 0);
}

// Reads the fields from the front of `fields` into key (a public key gets
// zero private numbers). False when `fields` is shorter than KeyFieldsSize
// or a number is out of the arithmetic's range.
bool ReadKeyFields(std::span<const std::uint8_t> fields, KeyFieldWidths widths, bool withPrivate,
                   crypto::RsaKey& key, crypto::Arithmetic& ar);

// Writes the fields to the front of `out`, each number zero-filled above its
// value. False when `out` is shorter than KeyFieldsSize, the exponent needs
// more than 32 bits or a number is wider than its field.
bool WriteKeyFields(const crypto::RsaKey& key, KeyFieldWidths widths, bool withPrivate,
                    std::span<std::uint8_t> out);

}  // namespace tv::csp
