// Montgomery multiplication in product-scanning form: column by column,
// the products of a and b and those of the reduction multipliers u and m
// are summed in registers (in two sums, so that their chains of carries
// overlap). Each of the k low columns yields the multiplier that clears
// it, the k high columns a limb of the result. The final subtraction of m
// is chosen by mask.
#include "bignum/limb_ops.h"
#include "bignum/montgomery.h"

namespace tv::crypto {

void Montgomery::Mul(Limb* r, const Limb* a, const Limb* b) const {
  const std::size_t k = size_;
  const Limb* m = modulus_.data();
  Limb u[kMaxModulusLimbs];
  Limb t[kMaxModulusLimbs + 1];
  limbs::Accumulator sum;
  for (std::size_t i = 0; i < k; ++i) {
    limbs::Accumulator reduction;
    for (std::size_t j = 0; j < i; ++j) {
      sum.MulAdd(a[j], b[i - j]);
      reduction.MulAdd(u[j], m[i - j]);
    }
    sum.Add(reduction);
    sum.MulAdd(a[i], b[0]);
    u[i] = static_cast<Limb>(sum.low) * negInverse_;
    sum.MulAdd(u[i], m[0]);
    sum.ShiftOut();  // zero by the choice of u[i]
  }
  for (std::size_t i = k; i < 2 * k; ++i) {
    limbs::Accumulator reduction;
    for (std::size_t j = i - k + 1; j < k; ++j) {
      sum.MulAdd(a[j], b[i - j]);
      reduction.MulAdd(u[j], m[i - j]);
    }
    sum.Add(reduction);
    t[i - k] = sum.ShiftOut();
  }
  t[k] = static_cast<Limb>(sum.low);
  ReduceOnce(r, t);
}

// r = t - m when t >= m, else t, for t < 2m held in k + 1 limbs.
void Montgomery::ReduceOnce(Limb* r, const Limb* t) const {
  const std::size_t k = size_;
  Limb reduced[kMaxModulusLimbs];
  const Limb borrow = limbs::SubN(reduced, t, modulus_.data(), k);
  const Limb keep = limbs::NonZeroMask(borrow) & ~limbs::NonZeroMask(t[k]);
  limbs::Select(r, t, reduced, k, keep);
}

}  // namespace tv::crypto
