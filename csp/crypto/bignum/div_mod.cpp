// Long division (Knuth's algorithm D) and remainders by small divisors.
#include <bit>
#include <utility>

#include "bignum/bignum.h"
#include "bignum/limb_ops.h"

namespace tv::crypto {
namespace {

using limbs::Wide;

// q = a / d over n limbs; returns a mod d.
Limb DivideByLimb(Limb* q, const Limb* a, std::size_t n, Limb d) {
  Limb remainder = 0;
  for (std::size_t i = n; i-- > 0;) {
    const Wide numerator = (Wide{remainder} << kLimbBits) | a[i];
    q[i] = static_cast<Limb>(numerator / d);
    remainder = static_cast<Limb>(numerator % d);
  }
  return remainder;
}

// out[0..n] = in[0..n) << shift, for shift below kLimbBits.
void ShiftLeftInto(Limb* out, const Limb* in, std::size_t n, unsigned shift) {
  Limb carry = 0;
  for (std::size_t i = 0; i < n; ++i) {
    out[i] = (in[i] << shift) | carry;
    carry = shift != 0 ? in[i] >> (kLimbBits - shift) : 0;
  }
  out[n] = carry;
}

// Divides u (m + n + 1 limbs, the dividend shifted so that v's top bit is
// set) by v (n >= 2 limbs): q receives m + 1 limbs, u keeps the remainder
// in its low n limbs.
void DivideNormalized(Limb* q, Limb* u, std::size_t m, const Limb* v, std::size_t n) {
  const Limb vTop = v[n - 1];
  const Limb vNext = v[n - 2];
  for (std::size_t j = m + 1; j-- > 0;) {
    const Wide numerator = (Wide{u[j + n]} << kLimbBits) | u[j + n - 1];
    Wide qHat = numerator / vTop;
    Wide rHat = numerator % vTop;
    while ((qHat >> kLimbBits) != 0 ||
           qHat * vNext > ((rHat << kLimbBits) | u[j + n - 2])) {
      --qHat;
      rHat += vTop;
      if ((rHat >> kLimbBits) != 0) break;
    }
    const Limb borrow = limbs::MulSub1(u + j, v, n, static_cast<Limb>(qHat));
    const Limb top = u[j + n];
    u[j + n] = top - borrow;
    if (top < borrow) {  // qHat was one too large: add v back
      --qHat;
      u[j + n] += limbs::AddN(u + j, u + j, v, n);
    }
    q[j] = static_cast<Limb>(qHat);
  }
}

bool DivideLong(BigNum& q, BigNum& r, std::span<const Limb> a, std::span<const Limb> b,
                Arithmetic& ar) {
  const std::size_t n = b.size();
  const std::size_t m = a.size() - n;
  const unsigned shift = static_cast<unsigned>(std::countl_zero(b[n - 1]));
  BigNum u;
  BigNum v;
  Limb* uLimbs = u.Prepare(a.size() + 1, ar);
  Limb* vLimbs = uLimbs != nullptr ? v.Prepare(n + 1, ar) : nullptr;
  Limb* qLimbs = vLimbs != nullptr ? q.Prepare(m + 1, ar) : nullptr;
  Limb* rLimbs = qLimbs != nullptr ? r.Prepare(n, ar) : nullptr;
  if (rLimbs == nullptr) return false;
  ShiftLeftInto(uLimbs, a.data(), a.size(), shift);
  ShiftLeftInto(vLimbs, b.data(), n, shift);
  DivideNormalized(qLimbs, uLimbs, m, vLimbs, n);
  for (std::size_t i = 0; i < n; ++i) {
    rLimbs[i] = (uLimbs[i] >> shift) |
                (shift != 0 ? uLimbs[i + 1] << (kLimbBits - shift) : 0);
  }
  q.Normalize();
  r.Normalize();
  return true;
}

}  // namespace

bool DivMod(BigNum* quotient, BigNum* remainder, const BigNum& a, const BigNum& b,
            Arithmetic& ar) {
  if (b.IsZero()) return ar.Fail(ArithmeticError::DivisionByZero);
  const auto x = a.Limbs();
  const auto y = b.Limbs();
  BigNum q;
  BigNum r;
  if (Compare(a, b) < 0) {
    if (!r.Assign(a, ar)) return false;
  } else if (y.size() == 1) {
    Limb* qLimbs = q.Prepare(x.size(), ar);
    if (qLimbs == nullptr) return false;
    const Limb rest = DivideByLimb(qLimbs, x.data(), x.size(), y[0]);
    q.Normalize();
    if (!r.SetWord(rest, ar)) return false;
  } else if (!DivideLong(q, r, x, y, ar)) {
    return false;
  }
  if (quotient != nullptr) *quotient = std::move(q);
  if (remainder != nullptr) *remainder = std::move(r);
  return true;
}

std::uint32_t ModWord(const BigNum& a, std::uint32_t m) {
  constexpr unsigned kHalves = sizeof(Limb) / sizeof(std::uint32_t);
  std::uint64_t remainder = 0;
  const auto x = a.Limbs();
  for (std::size_t i = x.size(); i-- > 0;) {
    for (unsigned h = kHalves; h-- > 0;) {
      const std::uint32_t half = static_cast<std::uint32_t>(x[i] >> (32 * h));
      remainder = ((remainder << 32) | half) % m;
    }
  }
  return static_cast<std::uint32_t>(remainder);
}

}  // namespace tv::crypto
