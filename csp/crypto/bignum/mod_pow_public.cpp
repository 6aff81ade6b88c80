// Left-to-right square-and-multiply for public exponents such as 65537:
// far fewer multiplications than a window table for short exponents.
#include "bignum/montgomery.h"
#include "bignum/mod_pow_ifma.h"
#include "bignum/portable_field.h"
#include "bignum/pow_schedule.h"
#include "cpu/cpu_features.h"

namespace tv::crypto {

bool ModPowPublic(BigNum& r, const BigNum& base, const BigNum& exponent, const Montgomery& m,
                  Arithmetic& ar) {
  if (cpu::UseAvx512Ifma() && detail::IfmaPaysOff(m, detail::ExponentKind::Public)) {
    return detail::ModPowIfma(r, base, exponent, detail::ExponentKind::Public, m, ar);
  }
  LimbBuffer encoded;
  LimbBuffer accumulator;
  if (!encoded.Allocate(m.size(), ar) || !accumulator.Allocate(m.size(), ar)) return false;
  m.Encode(encoded.data(), base.Limbs());
  detail::PowSquareMultiply(detail::PortableField(m), accumulator.data(), encoded.data(),
                            exponent.Limbs());
  m.Decode(accumulator.data(), accumulator.data());
  return r.SetLimbs(accumulator.data(), m.size(), ar);
}

}  // namespace tv::crypto
