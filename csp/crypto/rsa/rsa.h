// RSA operations on an RsaKey.
//
// Each operation starts the thread's Arithmetic instance afresh and fails
// (false) when any error is recorded in it; the error says why. Inputs and
// outputs are byte strings most significant byte first (see rsa_key.h for
// the reversal that blobs and records need). An input may have leading
// zero bytes and may be at most kMaxBits bits long; it is taken modulo n.
// The result goes to the front of `output` without leading zero bytes and
// its length to `outputLength`; an output too small for it gives
// InvalidArgument. Output may be the same memory as the input (the in-place
// form of the operations).
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "bignum/bignum.h"
#include "bignum/random_source.h"
#include "rsa/rsa_key.h"

namespace tv::crypto {

inline constexpr std::size_t kRsaMinBits = 384;
inline constexpr std::size_t kRsaMaxBits = 16384;
inline constexpr Limb kRsaPublicExponent = 65537;

// input^e mod n. EvenModulus for an even (or zero) n.
bool RsaPublic(const RsaKey& key, std::span<const std::uint8_t> input,
               std::span<std::uint8_t> output, std::size_t& outputLength, Arithmetic& ar);

// input^d mod n, computed with the CRT numbers (p, q, dp, dq, qinv) on a
// blinded input (m·r^e for a fresh random r, removed afterwards), in
// constant time. A result is released only after r^e of it gives the input
// back; when the CRT numbers do not give such a result (an imported key
// whose CRT numbers are missing or inconsistent) the exponent d is used
// instead. InvalidKey when neither passes: d does not invert e.
bool RsaPrivate(const RsaKey& key, std::span<const std::uint8_t> input,
                std::span<std::uint8_t> output, std::size_t& outputLength, Arithmetic& ar,
                RandomSource& random);

// A new key of `bits` bits (kRsaMinBits to kRsaMaxBits, a multiple of 8,
// else InvalidArgument) with e = 65537: p and q have exactly bits / 2 bits
// and their two top bits set, so n has exactly `bits` bits;
// |p - q| >= 2^(bits/2 - 99); e is invertible modulo (p-1)(q-1);
// d = e^-1 mod (p-1)(q-1), dp = d mod (p-1), dq = d mod (q-1),
// qinv = q^-1 mod p. `key` is replaced only on success.
bool RsaGenerate(RsaKey& key, std::size_t bits, Arithmetic& ar, RandomSource& random);

}  // namespace tv::crypto
