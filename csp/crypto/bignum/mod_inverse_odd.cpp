// Modular inverse for an odd modulus by the binary GCD.
#include "bignum/mod_inverse_odd.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#include "bignum/limb_ops.h"

namespace tv::crypto {
namespace {

// The binary GCD keeps a = u·y and b = v·y (mod m), b odd: when a is odd
// and below b the two swap, a odd takes a - b, and a is halved, until
// a = 0 and b = gcd(y, m). Following Pornin ("Optimized Binary GCD for
// Modular Inversion", 2020), 31 steps at a time are decided on 64-bit
// approximations of a and b (their exact low 31 bits and their top 33
// bits) and gathered in factors with |f| + |g| <= 2^31; the big numbers
// are then updated once: a' = (f0·a + g0·b) / 2^31, b' = (f1·a + g1·b) / 2^31,
// and the same for u and v modulo m. A wrong comparison of approximations
// can leave a' or b' negative; the sign is moved to its factors.

constexpr unsigned kBatch = 31;

struct Factors {
  std::int64_t f0 = 1, g0 = 0, f1 = 0, g1 = 1;
};

std::size_t BitLengthOf(const Limb* x, std::size_t count) {
  while (count > 0 && x[count - 1] == 0) --count;
  return count == 0 ? 0 : (count - 1) * kLimbBits + std::bit_width(x[count - 1]);
}

// Bits [position, position + 64) of x (count limbs).
std::uint64_t Read64(const Limb* x, std::size_t count, std::size_t position) {
  std::uint64_t bits = 0;
  for (std::size_t got = 0; got < 64;) {
    const std::size_t limb = (position + got) / kLimbBits;
    if (limb >= count) break;
    const unsigned offset = static_cast<unsigned>((position + got) % kLimbBits);
    bits |= static_cast<std::uint64_t>(x[limb] >> offset) << got;
    got += kLimbBits - offset;
  }
  return bits;
}

// x's low 31 bits and, above them, its top 33 bits of an n-bit frame.
std::uint64_t Approximate(const Limb* x, std::size_t k, std::size_t n) {
  if (n <= 64) return Read64(x, k, 0);
  const std::uint64_t low = Read64(x, k, 0) & ((std::uint64_t{1} << kBatch) - 1);
  return (Read64(x, k, n - (64 - kBatch)) << kBatch) | low;
}

Factors DecideBatch(std::uint64_t a, std::uint64_t b) {
  Factors f;
  for (unsigned step = 0; step < kBatch; ++step) {
    if ((a & 1) != 0) {
      if (a < b) {
        std::swap(a, b);
        std::swap(f.f0, f.f1);
        std::swap(f.g0, f.g1);
      }
      a -= b;
      f.f0 -= f.f1;
      f.g0 -= f.g1;
    }
    a >>= 1;
    f.f1 *= 2;
    f.g1 *= 2;
  }
  return f;
}

// out[0..k] = |f·x + g·y| for k-limb x and y (|f| + |g| <= 2^31 keeps it
// in k + 1 limbs); true when the sum is negative.
bool Combine(Limb* out, const Limb* x, std::int64_t f, const Limb* y, std::int64_t g,
             std::size_t k, Limb* scratch) {
  std::memset(out, 0, k * sizeof(Limb));
  std::memset(scratch, 0, k * sizeof(Limb));
  out[k] = limbs::MulAdd1(out, x, k, static_cast<Limb>(f < 0 ? -f : f));
  scratch[k] = limbs::MulAdd1(scratch, y, k, static_cast<Limb>(g < 0 ? -g : g));
  if ((f < 0) == (g < 0)) {
    limbs::AddN(out, out, scratch, k + 1);
    return f < 0;
  }
  if (limbs::CompareN(out, scratch, k + 1) >= 0) {
    limbs::SubN(out, out, scratch, k + 1);
    return f < 0;
  }
  limbs::SubN(out, scratch, out, k + 1);
  return g < 0;
}

// x = x / 2^31 over n limbs.
void ShiftBatch(Limb* x, std::size_t n) {
  for (std::size_t i = 0; i + 1 < n; ++i) {
    x[i] = (x[i] >> kBatch) | (x[i + 1] << (kLimbBits - kBatch));
  }
  x[n - 1] >>= kBatch;
}

struct OddModulus {
  const Limb* m;
  std::size_t k;
  Limb negInverse;  // -m^-1 mod 2^kLimbBits
};

// out = (f·x + g·y) / 2^31 mod m for x, y < m. With |f·x + g·y| < 2^31·m,
// adding the multiple c·m (c < 2^31) that clears its low 31 bits and
// shifting leaves less than 2m.
void CombineMod(Limb* out, const Limb* x, std::int64_t f, const Limb* y, std::int64_t g,
                const OddModulus& mod, Limb* wide, Limb* scratch) {
  const std::size_t k = mod.k;
  const bool negative = Combine(wide, x, f, y, g, k, scratch);
  const Limb c = (wide[0] * mod.negInverse) & ((Limb{1} << kBatch) - 1);
  wide[k] += limbs::MulAdd1(wide, mod.m, k, c);
  ShiftBatch(wide, k + 1);
  if (wide[k] != 0 || limbs::CompareN(wide, mod.m, k) >= 0) limbs::SubN(wide, wide, mod.m, k);
  if (negative && BitLengthOf(wide, k) != 0) limbs::SubN(wide, mod.m, wide, k);
  std::copy(wide, wide + k, out);
}

// out = |f·x + g·y| / 2^31 (exact); true when f·x + g·y is negative.
bool CombineExact(Limb* out, const Limb* x, std::int64_t f, const Limb* y, std::int64_t g,
                  std::size_t k, Limb* wide, Limb* scratch) {
  const bool negative = Combine(wide, x, f, y, g, k, scratch);
  ShiftBatch(wide, k + 1);
  std::copy(wide, wide + k, out);
  return negative;
}

}  // namespace

bool ModInverseOdd(BigNum& r, const BigNum& y, const BigNum& m, Arithmetic& ar) {
  const std::size_t k = m.Limbs().size();
  const OddModulus mod{m.Limbs().data(), k, limbs::NegativeInverse(m.Limbs()[0])};
  BigNum reduced;
  LimbBuffer buffer;
  if (!DivMod(nullptr, &reduced, y, m, ar) || !buffer.Allocate(8 * k + 2, ar)) return false;
  Limb* a = buffer.data();
  Limb* b = a + k;
  Limb* u = b + k;
  Limb* v = u + k;
  Limb* nextA = v + k;
  Limb* nextU = nextA + k;
  Limb* wide = nextU + k;      // k + 1 limbs
  Limb* scratch = wide + k + 1;  // k + 1 limbs
  std::memcpy(a, reduced.Limbs().data(), reduced.Limbs().size() * sizeof(Limb));
  std::memcpy(b, mod.m, k * sizeof(Limb));
  u[0] = 1;

  // Each batch takes 31 bits off len(a) + len(b) <= 2·len(m) (Pornin's
  // bound); the limit only guards the loop.
  const std::size_t maxBatches = 2 * m.BitLength() / kBatch + 4;
  for (std::size_t batch = 0; BitLengthOf(a, k) != 0; ++batch) {
    if (batch == maxBatches) return ar.Fail(ArithmeticError::InvalidArgument);
    const std::size_t n = std::max<std::size_t>({BitLengthOf(a, k), BitLengthOf(b, k), 64});
    Factors f = DecideBatch(Approximate(a, k, n), Approximate(b, k, n));
    if (CombineExact(nextA, a, f.f0, b, f.g0, k, wide, scratch)) {
      f.f0 = -f.f0;
      f.g0 = -f.g0;
    }
    if (CombineExact(b, a, f.f1, b, f.g1, k, wide, scratch)) {
      f.f1 = -f.f1;
      f.g1 = -f.g1;
    }
    std::copy(nextA, nextA + k, a);
    CombineMod(nextU, u, f.f0, v, f.g0, mod, wide, scratch);
    CombineMod(v, u, f.f1, v, f.g1, mod, wide, scratch);
    std::copy(nextU, nextU + k, u);
  }
  // b = gcd(y, m); the inverse exists only when it is 1.
  if (BitLengthOf(b, k) != 1) return ar.Fail(ArithmeticError::NoInverse);
  return r.SetLimbs(v, k, ar);
}

}  // namespace tv::crypto
