// Left-to-right square-and-multiply for public exponents such as 65537:
// far fewer multiplications than a window table for short exponents.
#include "bignum/montgomery.h"

namespace tv::crypto {

bool ModPowPublic(BigNum& r, const BigNum& base, const BigNum& exponent, const Montgomery& m,
                  Arithmetic& ar) {
  LimbBuffer encoded;
  LimbBuffer accumulator;
  if (!encoded.Allocate(m.size(), ar) || !accumulator.Allocate(m.size(), ar)) return false;
  Limb* b = encoded.data();
  Limb* acc = accumulator.data();
  m.Encode(b, base.Limbs());
  m.One(acc);
  for (std::size_t i = exponent.BitLength(); i-- > 0;) {
    m.Square(acc, acc);
    if (exponent.Bit(i)) m.Mul(acc, acc, b);
  }
  m.Decode(acc, acc);
  return r.SetLimbs(acc, m.size(), ar);
}

}  // namespace tv::crypto
