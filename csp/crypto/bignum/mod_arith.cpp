// Reduction, multiplication and subtraction modulo m for numbers of any
// size, through Montgomery form so that the time does not follow the values.
#include <algorithm>

#include "bignum/montgomery.h"

namespace tv::crypto {
namespace {

// Montgomery forms of a and b in one k-limb pair of buffers.
bool EncodePair(LimbBuffer& x, LimbBuffer& y, const BigNum& a, const BigNum& b,
                const Montgomery& m, Arithmetic& ar) {
  if (!x.Allocate(m.size(), ar) || !y.Allocate(m.size(), ar)) return false;
  m.Encode(x.data(), a.Limbs());
  m.Encode(y.data(), b.Limbs());
  return true;
}

bool DecodeInto(BigNum& r, LimbBuffer& x, const Montgomery& m, Arithmetic& ar) {
  m.Decode(x.data(), x.data());
  return r.SetLimbs(x.data(), m.size(), ar);
}

}  // namespace

bool ModReduce(BigNum& r, const BigNum& a, const Montgomery& m, Arithmetic& ar) {
  LimbBuffer x;
  if (!x.Allocate(m.size(), ar)) return false;
  m.Encode(x.data(), a.Limbs());
  return DecodeInto(r, x, m, ar);
}

// With the shorter factor below R, (a·R mod m)·b / R is the product itself:
// one encoding and one multiplication instead of two and two.
bool ModMul(BigNum& r, const BigNum& a, const BigNum& b, const Montgomery& m, Arithmetic& ar) {
  const bool aShorter = a.Limbs().size() <= b.Limbs().size();
  const BigNum& shorter = aShorter ? a : b;
  const BigNum& longer = aShorter ? b : a;
  LimbBuffer x;
  LimbBuffer y;
  if (shorter.Limbs().size() > m.size()) {
    if (!EncodePair(x, y, a, b, m, ar)) return false;
    m.Mul(x.data(), x.data(), y.data());
    return DecodeInto(r, x, m, ar);
  }
  if (!x.Allocate(m.size(), ar) || !y.Allocate(m.size(), ar)) return false;
  m.Encode(x.data(), longer.Limbs());
  std::copy(shorter.Limbs().begin(), shorter.Limbs().end(), y.data());
  m.Mul(x.data(), y.data(), x.data());
  return r.SetLimbs(x.data(), m.size(), ar);
}

bool ModSub(BigNum& r, const BigNum& a, const BigNum& b, const Montgomery& m, Arithmetic& ar) {
  LimbBuffer x;
  LimbBuffer y;
  if (!EncodePair(x, y, a, b, m, ar)) return false;
  m.Sub(x.data(), x.data(), y.data());
  return DecodeInto(r, x, m, ar);
}

}  // namespace tv::crypto
