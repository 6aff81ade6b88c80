// The binary-GCD inverse behind ModInverse for odd moduli.
#pragma once
#include "bignum/bignum.h"

namespace tv::crypto {

// r = y^-1 mod m for an odd m, in [0, m); NoInverse when gcd(y, m) != 1.
// Time depends on the values.
bool ModInverseOdd(BigNum& r, const BigNum& y, const BigNum& m, Arithmetic& ar);

}  // namespace tv::crypto
