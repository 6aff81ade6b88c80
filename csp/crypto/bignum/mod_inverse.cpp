// Modular inverse: the binary GCD for an odd modulus (RSA moduli and
// primes), the extended Euclidean algorithm for any other (such as
// (p-1)(q-1)). Both run in time that depends on the values.
#include <utility>

#include "bignum/bignum.h"
#include "bignum/mod_inverse_odd.h"

namespace tv::crypto {
namespace {

// The Bezout coefficients of Euclid's algorithm change sign, so they are
// kept as magnitude and sign.
struct Signed {
  BigNum magnitude;
  bool negative = false;
};

// r = x - q * y.
bool SubtractProduct(Signed& r, const Signed& x, const BigNum& q, const Signed& y,
                     Arithmetic& ar) {
  BigNum product;
  if (!Mul(product, q, y.magnitude, ar)) return false;
  Signed result;
  if (x.negative != y.negative) {
    result.negative = x.negative;
    if (!Add(result.magnitude, x.magnitude, product, ar)) return false;
  } else if (Compare(x.magnitude, product) >= 0) {
    result.negative = x.negative;
    if (!Sub(result.magnitude, x.magnitude, product, ar)) return false;
  } else {
    result.negative = !x.negative;
    if (!Sub(result.magnitude, product, x.magnitude, ar)) return false;
  }
  r = std::move(result);
  return true;
}

bool InvertEuclid(BigNum& r, const BigNum& a, const BigNum& m, Arithmetic& ar) {
  // Invariant: remainder_i = coefficient_i * a (mod m).
  BigNum remainder0;
  BigNum remainder1;
  Signed coefficient0;
  Signed coefficient1;
  if (!remainder0.Assign(m, ar) || !DivMod(nullptr, &remainder1, a, m, ar) ||
      !coefficient1.magnitude.SetWord(1, ar)) {
    return false;
  }
  while (!remainder1.IsZero()) {
    BigNum quotient;
    BigNum rest;
    Signed next;
    if (!DivMod(&quotient, &rest, remainder0, remainder1, ar) ||
        !SubtractProduct(next, coefficient0, quotient, coefficient1, ar)) {
      return false;
    }
    remainder0 = std::move(remainder1);
    remainder1 = std::move(rest);
    coefficient0 = std::move(coefficient1);
    coefficient1 = std::move(next);
  }
  if (!remainder0.IsWord(1)) return ar.Fail(ArithmeticError::NoInverse);  // gcd(a, m) > 1
  BigNum inverse;
  if (!DivMod(nullptr, &inverse, coefficient0.magnitude, m, ar)) return false;
  if (coefficient0.negative && !inverse.IsZero() && !Sub(inverse, m, inverse, ar)) return false;
  r = std::move(inverse);
  return true;
}

}  // namespace

bool ModInverse(BigNum& r, const BigNum& a, const BigNum& m, Arithmetic& ar) {
  return m.IsOdd() ? ModInverseOdd(r, a, m, ar) : InvertEuclid(r, a, m, ar);
}

}  // namespace tv::crypto
