// Right shift by any number of bits.
#include <utility>

#include "bignum/bignum.h"

namespace tv::crypto {

bool ShiftRight(BigNum& r, const BigNum& a, std::size_t bits, Arithmetic& ar) {
  const auto x = a.Limbs();
  const std::size_t whole = bits / kLimbBits;
  const unsigned part = static_cast<unsigned>(bits % kLimbBits);
  BigNum shifted;
  if (whole < x.size()) {
    Limb* out = shifted.Prepare(x.size() - whole, ar);
    if (out == nullptr) return false;
    for (std::size_t i = 0; i + whole < x.size(); ++i) {
      const Limb low = x[i + whole] >> part;
      const Limb high =
          part != 0 && i + whole + 1 < x.size() ? x[i + whole + 1] << (kLimbBits - part) : 0;
      out[i] = low | high;
    }
    shifted.Normalize();
  }
  r = std::move(shifted);
  return true;
}

}  // namespace tv::crypto
