// Montgomery context set-up and the constant-time operations around the
// multiplication: modular addition, subtraction, encoding and decoding.
#include <algorithm>
#include <bit>
#include <cstring>

#include "bignum/limb_ops.h"
#include "bignum/montgomery.h"

namespace tv::crypto {

bool Montgomery::Init(const BigNum& modulus, Arithmetic& ar) {
  if (!modulus.IsOdd()) return ar.Fail(ArithmeticError::EvenModulus);
  const auto m = modulus.Limbs();
  if (m.size() > kMaxModulusLimbs) return ar.Fail(ArithmeticError::TooLarge);
  if (!modulus_.Allocate(m.size(), ar) || !rSquared_.Allocate(m.size(), ar)) return false;
  std::memcpy(modulus_.data(), m.data(), m.size() * sizeof(Limb));
  size_ = m.size();
  negInverse_ = limbs::NegativeInverse(m[0]);
  ComputeRSquared();
  return true;
}

// R^2 mod m without a division (whose timing would follow m): start from
// 2^(bits-1) < m, double to 2^s·R with s the odd part of k, then square in
// Montgomery form, which maps 2^a·R to 2^(2a)·R, until a = k·kLimbBits.
void Montgomery::ComputeRSquared() {
  const std::size_t k = size_;
  const std::size_t bits = (k - 1) * kLimbBits + std::bit_width(modulus_.data()[k - 1]);
  Limb* x = rSquared_.data();
  std::memset(x, 0, k * sizeof(Limb));
  x[(bits - 1) / kLimbBits] = Limb{1} << ((bits - 1) % kLimbBits);
  Limb reduced[kMaxModulusLimbs];
  const Limb borrow = limbs::SubN(reduced, x, modulus_.data(), k);  // only m = 1 reduces
  limbs::Select(x, x, reduced, k, limbs::NonZeroMask(borrow));

  const unsigned evenPart = static_cast<unsigned>(std::countr_zero(k));
  const std::size_t oddPart = k >> evenPart;
  for (std::size_t i = bits - 1; i < k * kLimbBits + oddPart; ++i) Double(x);
  const unsigned squarings = evenPart + static_cast<unsigned>(std::countr_zero(kLimbBits));
  for (unsigned i = 0; i < squarings; ++i) Square(x, x);
}

// x = 2x mod m, for x < m.
void Montgomery::Double(Limb* x) const {
  const std::size_t k = size_;
  const Limb overflow = x[k - 1] >> (kLimbBits - 1);
  for (std::size_t i = k; i-- > 1;) x[i] = (x[i] << 1) | (x[i - 1] >> (kLimbBits - 1));
  x[0] <<= 1;
  Limb reduced[kMaxModulusLimbs];
  const Limb borrow = limbs::SubN(reduced, x, modulus_.data(), k);
  const Limb keep = limbs::NonZeroMask(borrow) & ~limbs::NonZeroMask(overflow);
  limbs::Select(x, x, reduced, k, keep);
}

void Montgomery::Add(Limb* r, const Limb* a, const Limb* b) const {
  const std::size_t k = size_;
  Limb sum[kMaxModulusLimbs];
  Limb reduced[kMaxModulusLimbs];
  const Limb carry = limbs::AddN(sum, a, b, k);
  const Limb borrow = limbs::SubN(reduced, sum, modulus_.data(), k);
  const Limb keep = limbs::NonZeroMask(borrow) & ~limbs::NonZeroMask(carry);
  limbs::Select(r, sum, reduced, k, keep);
}

void Montgomery::Sub(Limb* r, const Limb* a, const Limb* b) const {
  const std::size_t k = size_;
  Limb difference[kMaxModulusLimbs];
  Limb restored[kMaxModulusLimbs];
  const Limb borrow = limbs::SubN(difference, a, b, k);
  limbs::AddN(restored, difference, modulus_.data(), k);
  limbs::Select(r, restored, difference, k, limbs::NonZeroMask(borrow));
}

// Horner's rule over k-limb chunks from the top: with v the value read so
// far, v' = v·R + chunk, so v'·R = (v·R)·R^2/R + chunk·R^2/R. The top chunk
// alone is v, whose form is one multiplication.
void Montgomery::Encode(Limb* r, std::span<const Limb> a) const {
  const std::size_t k = size_;
  std::memset(r, 0, k * sizeof(Limb));
  Limb chunk[kMaxModulusLimbs];
  Limb term[kMaxModulusLimbs];
  const std::size_t chunks = (a.size() + k - 1) / k;
  for (std::size_t c = chunks; c-- > 0;) {
    const std::size_t count = std::min(k, a.size() - c * k);
    std::memset(chunk, 0, k * sizeof(Limb));
    std::memcpy(chunk, a.data() + c * k, count * sizeof(Limb));
    if (c + 1 == chunks) {
      Mul(r, chunk, rSquared_.data());
      continue;
    }
    Mul(term, chunk, rSquared_.data());
    Mul(r, r, rSquared_.data());
    Add(r, r, term);
  }
}

void Montgomery::Decode(Limb* r, const Limb* a) const {
  Limb one[kMaxModulusLimbs] = {1};
  Mul(r, a, one);
}

void Montgomery::One(Limb* r) const {
  Limb one[kMaxModulusLimbs] = {1};
  Mul(r, one, rSquared_.data());
}

}  // namespace tv::crypto
