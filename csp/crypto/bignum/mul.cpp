// Schoolbook multiplication.
#include <utility>

#include "bignum/bignum.h"
#include "bignum/limb_ops.h"

namespace tv::crypto {

bool Mul(BigNum& r, const BigNum& a, const BigNum& b, Arithmetic& ar) {
  const auto x = a.Limbs();
  const auto y = b.Limbs();
  BigNum product;
  if (x.empty() || y.empty()) {
    r = std::move(product);
    return true;
  }
  Limb* out = product.Prepare(x.size() + y.size(), ar);
  if (out == nullptr) return false;
  limbs::MulN(out, x.data(), x.size(), y.data(), y.size());
  product.Normalize();
  r = std::move(product);
  return true;
}

}  // namespace tv::crypto
