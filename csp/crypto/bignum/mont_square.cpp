// Montgomery squaring of 1024-bit numbers, the halves of 2048-bit RSA keys
// and so the bulk of their private operation: the product-scanning
// multiplication of mont_mul.cpp with each column's symmetric products
// a[j]·a[i-j] (j < i - j) computed once and doubled, and the middle square
// a[i/2]^2 of even columns added. With the size a compile-time constant the
// compiler unrolls it into straight code about a third faster than Mul.
// At other sizes the loop overhead eats the saving, so they use Mul.
#include "bignum/limb_ops.h"
#include "bignum/montgomery.h"

namespace tv::crypto {
namespace {

constexpr std::size_t kSquareLimbs = 1024 / kLimbBits;

// t[0..k] = a·a / R, below 2m, for k = kSquareLimbs.
void SquareUnrolled(Limb* t, const Limb* a, const Limb* m, Limb negInverse) {
  constexpr std::size_t k = kSquareLimbs;
  // A full-size array: one of k limbs the compiler tries to keep in
  // registers, which measured slower.
  Limb u[kMaxModulusLimbs];
  limbs::Accumulator sum;
  // Adds column i: the square's products and the reduction products
  // u[j]·m[i-j] for j in [low, reductionEnd).
  auto addColumn = [&](std::size_t i, std::size_t low, std::size_t reductionEnd)
                       __attribute__((always_inline)) {
    limbs::Accumulator square;
    limbs::Accumulator reduction;
    std::size_t j = low;
#pragma GCC unroll 32
    for (; j < (i + 1) / 2; ++j) {
      square.MulAdd(a[j], a[i - j]);
      reduction.MulAdd(u[j], m[i - j]);
    }
    square.Double();
    if (i % 2 == 0) square.MulAdd(a[i / 2], a[i / 2]);
#pragma GCC unroll 32
    for (; j < reductionEnd; ++j) square.MulAdd(u[j], m[i - j]);
    sum.Add(square);
    sum.Add(reduction);
  };
#pragma GCC unroll 32
  for (std::size_t i = 0; i < k; ++i) {
    addColumn(i, 0, i);
    u[i] = static_cast<Limb>(sum.low) * negInverse;
    sum.MulAdd(u[i], m[0]);
    sum.ShiftOut();  // zero by the choice of u[i]
  }
#pragma GCC unroll 32
  for (std::size_t i = k; i < 2 * k; ++i) {
    addColumn(i, i - k + 1, k);
    t[i - k] = sum.ShiftOut();
  }
  t[k] = static_cast<Limb>(sum.low);
}

}  // namespace

void Montgomery::Square(Limb* r, const Limb* a) const {
  if (size_ != kSquareLimbs) {
    Mul(r, a, a);
    return;
  }
  Limb t[kSquareLimbs + 1];
  SquareUnrolled(t, a, modulus_.data(), negInverse_);
  ReduceOnce(r, t);
}

}  // namespace tv::crypto
