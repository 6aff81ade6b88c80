// Addition and subtraction of BigNums and of single limbs.
#include <algorithm>
#include <utility>

#include "bignum/bignum.h"
#include "bignum/limb_ops.h"

namespace tv::crypto {
namespace {

// r = a + b where a has at least as many limbs as b.
bool AddOrdered(BigNum& r, std::span<const Limb> a, std::span<const Limb> b, Arithmetic& ar) {
  BigNum sum;
  Limb* out = sum.Prepare(a.size() + 1, ar);
  if (out == nullptr) return false;
  Limb carry = limbs::AddN(out, a.data(), b.data(), b.size());
  for (std::size_t i = b.size(); i < a.size(); ++i) {
    out[i] = a[i] + carry;
    carry = out[i] < carry ? 1 : 0;
  }
  out[a.size()] = carry;
  sum.Normalize();
  r = std::move(sum);
  return true;
}

// r = a - b; NegativeResult when b > a.
bool SubSpans(BigNum& r, std::span<const Limb> a, std::span<const Limb> b, Arithmetic& ar) {
  if (b.size() > a.size()) return ar.Fail(ArithmeticError::NegativeResult);
  BigNum difference;
  Limb* out = difference.Prepare(a.size(), ar);
  if (out == nullptr) return false;
  Limb borrow = limbs::SubN(out, a.data(), b.data(), b.size());
  for (std::size_t i = b.size(); i < a.size(); ++i) {
    out[i] = a[i] - borrow;
    borrow = a[i] < borrow ? 1 : 0;
  }
  if (borrow != 0) return ar.Fail(ArithmeticError::NegativeResult);
  difference.Normalize();
  r = std::move(difference);
  return true;
}

std::span<const Limb> WordSpan(const Limb& w) { return {&w, w == 0 ? 0u : 1u}; }

}  // namespace

bool Add(BigNum& r, const BigNum& a, const BigNum& b, Arithmetic& ar) {
  const auto x = a.Limbs();
  const auto y = b.Limbs();
  return x.size() >= y.size() ? AddOrdered(r, x, y, ar) : AddOrdered(r, y, x, ar);
}

bool Sub(BigNum& r, const BigNum& a, const BigNum& b, Arithmetic& ar) {
  return SubSpans(r, a.Limbs(), b.Limbs(), ar);
}

bool AddWord(BigNum& r, const BigNum& a, Limb w, Arithmetic& ar) {
  const auto x = a.Limbs();
  const auto y = WordSpan(w);
  return x.size() >= y.size() ? AddOrdered(r, x, y, ar) : AddOrdered(r, y, x, ar);
}

bool SubWord(BigNum& r, const BigNum& a, Limb w, Arithmetic& ar) {
  return SubSpans(r, a.Limbs(), WordSpan(w), ar);
}

}  // namespace tv::crypto
