// Limb-array primitives under the BigNum operations. Arrays are
// little-endian; lengths are limb counts. Apart from CompareN nothing here
// branches on limb values, so the Montgomery code built on it stays
// constant time.
#pragma once
#include <cstddef>
#include <cstring>

#include "bignum/bignum.h"

namespace tv::crypto::limbs {

#if defined(__SIZEOF_INT128__) && !defined(TV_BIGNUM_LIMB32)
using Wide = unsigned __int128;
#else
using Wide = std::uint64_t;
#endif

inline Limb High(Wide w) { return static_cast<Limb>(w >> kLimbBits); }

// A three-limb column sum for product-scanning multiplication: sums of up
// to 2^kLimbBits double-limb products fit.
struct Accumulator {
  Wide low = 0;
  Limb high = 0;

  void MulAdd(Limb a, Limb b) { high += __builtin_add_overflow(low, Wide{a} * b, &low); }
  void Add(const Accumulator& other) {
    high += other.high + __builtin_add_overflow(low, other.low, &low);
  }
  // Twice the sum, which must stay below 2^(3·kLimbBits).
  void Double() {
    high = (high << 1) | static_cast<Limb>(low >> (2 * kLimbBits - 1));
    low <<= 1;
  }
  // Returns the lowest limb and shifts the sum down by one limb.
  Limb ShiftOut() {
    const Limb out = static_cast<Limb>(low);
    low = (low >> kLimbBits) | (Wide{high} << kLimbBits);
    high = 0;
    return out;
  }
};

// -m0^-1 mod 2^kLimbBits for odd m0, by Newton's iteration: m0 is its own
// inverse modulo 8, and each step doubles the number of correct bits.
inline Limb NegativeInverse(Limb m0) {
  Limb inverse = m0;
  for (std::size_t bits = 3; bits < kLimbBits; bits *= 2) inverse *= 2 - m0 * inverse;
  return Limb{0} - inverse;
}

// All ones when x is non-zero, else zero.
inline Limb NonZeroMask(Limb x) {
  return Limb{0} - ((x | (Limb{0} - x)) >> (kLimbBits - 1));
}
inline Limb EqualMask(Limb a, Limb b) { return ~NonZeroMask(a ^ b); }

// r = mask ? a : b, for a mask of all ones or zero.
inline void Select(Limb* r, const Limb* a, const Limb* b, std::size_t n, Limb mask) {
  for (std::size_t i = 0; i < n; ++i) r[i] = (a[i] & mask) | (b[i] & ~mask);
}

// r = a + b over n limbs; returns the carry.
inline Limb AddN(Limb* r, const Limb* a, const Limb* b, std::size_t n) {
  Limb carry = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Wide s = Wide{a[i]} + b[i] + carry;
    r[i] = static_cast<Limb>(s);
    carry = High(s);
  }
  return carry;
}

// r = a - b over n limbs; returns the borrow (0 or 1).
inline Limb SubN(Limb* r, const Limb* a, const Limb* b, std::size_t n) {
  Limb borrow = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Wide d = Wide{a[i]} - b[i] - borrow;
    r[i] = static_cast<Limb>(d);
    borrow = High(d) & 1;
  }
  return borrow;
}

// r[0..n) += a[0..n) * b; returns the carry limb.
inline Limb MulAdd1(Limb* r, const Limb* a, std::size_t n, Limb b) {
  Limb carry = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Wide p = Wide{a[i]} * b + r[i] + carry;
    r[i] = static_cast<Limb>(p);
    carry = High(p);
  }
  return carry;
}

// r[0..n) -= a[0..n) * b; returns the limb borrowed beyond r[n-1].
inline Limb MulSub1(Limb* r, const Limb* a, std::size_t n, Limb b) {
  Limb borrow = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Wide p = Wide{a[i]} * b + borrow;
    const Wide d = Wide{r[i]} - static_cast<Limb>(p);
    r[i] = static_cast<Limb>(d);
    borrow = High(p) + (High(d) & 1);
  }
  return borrow;
}

// r[0..an+bn) = a * b; r must not overlap a or b.
inline void MulN(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn) {
  std::memset(r, 0, (an + bn) * sizeof(Limb));
  for (std::size_t i = 0; i < bn; ++i) r[an + i] = MulAdd1(r + i, a, an, b[i]);
}

// Sign of a - b over n limbs (value-dependent time).
inline int CompareN(const Limb* a, const Limb* b, std::size_t n) {
  for (std::size_t i = n; i-- > 0;) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

}  // namespace tv::crypto::limbs
