// Random numbers for key generation, blinding and primality testing. The
// bytes come from a RandomSource that the caller supplies, so that this
// module needs no operating-system generator of its own.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "bignum/bignum.h"

namespace tv::crypto {

class RandomSource {
 public:
  // Fills `out` with random bytes; false when the source cannot deliver.
  virtual bool Fill(std::span<std::uint8_t> out) = 0;

 protected:
  ~RandomSource() = default;
};

// r uniform in [0, 2^bits), bits at most kMaxBits.
bool RandomBits(BigNum& r, std::size_t bits, RandomSource& random, Arithmetic& ar);
// r uniform in [0, bound) for a non-zero bound, by rejection sampling.
bool RandomBelow(BigNum& r, const BigNum& bound, RandomSource& random, Arithmetic& ar);

}  // namespace tv::crypto
