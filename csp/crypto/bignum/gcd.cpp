// Greatest common divisor by Euclid's algorithm.
#include <utility>

#include "bignum/bignum.h"

namespace tv::crypto {

bool Gcd(BigNum& r, const BigNum& a, const BigNum& b, Arithmetic& ar) {
  BigNum x;
  BigNum y;
  if (!x.Assign(a, ar) || !y.Assign(b, ar)) return false;
  while (!y.IsZero()) {
    BigNum rest;
    if (!DivMod(nullptr, &rest, x, y, ar)) return false;
    x = std::move(y);
    y = std::move(rest);
  }
  r = std::move(x);
  return true;
}

}  // namespace tv::crypto
