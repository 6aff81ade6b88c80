// RSA-shaped numbers for record tests: every field as wide as a real key's
// of the same length, filled from a seeded generator. They do not form a
// working key; the storage layer never computes with them.
#pragma once
#include <cstdint>
#include <vector>

#include "csp/crypto/rsa/rsa_key.h"

namespace tvtest {

tv::crypto::RsaKey MakeTestKey(std::uint32_t bits, std::uint32_t seed);

// A number of exactly `bits` bits (top bit set).
tv::crypto::BigNum MakeNumber(std::size_t bits, std::uint32_t seed);

// The value's bytes, most significant first, without leading zeros.
std::vector<std::uint8_t> BigEndian(const tv::crypto::BigNum& number);

// The value least significant byte first, zero-filled to `width` bytes.
std::vector<std::uint8_t> LittleEndianField(const tv::crypto::BigNum& number, std::size_t width);

// The stored records of a test key pair, as a provider context writes them.
struct Pair {
  std::vector<std::uint8_t> publicRecord;
  std::vector<std::uint8_t> privateRecord;
};
Pair MakePair(std::uint32_t bits, std::uint32_t seed);

}  // namespace tvtest
