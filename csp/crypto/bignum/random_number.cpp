// Uniform random numbers from a RandomSource.
#include <utility>

#include "bignum/random_source.h"

namespace tv::crypto {

bool RandomBits(BigNum& r, std::size_t bits, RandomSource& random, Arithmetic& ar) {
  if (bits > kMaxBits) return ar.Fail(ArithmeticError::TooLarge);
  BigNum value;
  const std::size_t count = (bits + kLimbBits - 1) / kLimbBits;
  Limb* out = value.Prepare(count, ar);
  if (out == nullptr) return false;
  if (!random.Fill({reinterpret_cast<std::uint8_t*>(out), count * sizeof(Limb)})) {
    return ar.Fail(ArithmeticError::RandomFailure);
  }
  if (bits % kLimbBits != 0) out[count - 1] &= (Limb{1} << (bits % kLimbBits)) - 1;
  value.Normalize();
  r = std::move(value);
  return true;
}

bool RandomBelow(BigNum& r, const BigNum& bound, RandomSource& random, Arithmetic& ar) {
  if (bound.IsZero()) return ar.Fail(ArithmeticError::InvalidArgument);
  // Each draw succeeds with probability above 1/2; a source that keeps
  // failing that is broken.
  constexpr int kMaxDraws = 128;
  for (int draw = 0; draw < kMaxDraws; ++draw) {
    BigNum candidate;
    if (!RandomBits(candidate, bound.BitLength(), random, ar)) return false;
    if (Compare(candidate, bound) < 0) {
      r = std::move(candidate);
      return true;
    }
  }
  return ar.Fail(ArithmeticError::RandomFailure);
}

}  // namespace tv::crypto
