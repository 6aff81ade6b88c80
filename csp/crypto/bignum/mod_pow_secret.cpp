// Fixed-window modular exponentiation for secret exponents. Every window
// costs the same squarings and one multiplication by a table entry that is
// read with a full masked scan, so neither the exponent nor the base shows
// in the sequence of operations or in the memory accessed.
#include <cstring>

#include "bignum/limb_ops.h"
#include "bignum/montgomery.h"

namespace tv::crypto {
namespace {

constexpr unsigned kMaxWindow = 7;

// The window that minimises the work: 2^w multiplications to build the
// table, then per window one multiplication and a scan of the whole table,
// which costs about 2^w / (16k) of a multiplication for k-limb numbers.
// Counted in units of 1/(16k) multiplication.
unsigned WindowBits(std::size_t exponentBits, std::size_t k) {
  auto cost = [&](unsigned w) {
    const std::size_t entries = std::size_t{1} << w;
    return entries * 16 * k + exponentBits / w * (16 * k + entries);
  };
  unsigned best = 1;
  for (unsigned w = 2; w <= kMaxWindow; ++w) {
    if (cost(w) < cost(best)) best = w;
  }
  return best;
}

// Bits [position, position + count) of the exponent; the limbs read depend
// on the position only.
Limb WindowValue(std::span<const Limb> exponent, std::size_t position, unsigned count) {
  const std::size_t limb = position / kLimbBits;
  const unsigned offset = static_cast<unsigned>(position % kLimbBits);
  Limb value = exponent[limb] >> offset;
  if (offset + count > kLimbBits && limb + 1 < exponent.size()) {
    value |= exponent[limb + 1] << (kLimbBits - offset);
  }
  return value & ((Limb{1} << count) - 1);
}

// out = table[index], reading every entry.
void LookUp(Limb* out, const Limb* table, std::size_t entries, std::size_t k, Limb index) {
  std::memset(out, 0, k * sizeof(Limb));
  for (std::size_t e = 0; e < entries; ++e) {
    const Limb mask = limbs::EqualMask(static_cast<Limb>(e), index);
    for (std::size_t i = 0; i < k; ++i) out[i] |= table[e * k + i] & mask;
  }
}

}  // namespace

bool ModPowSecret(BigNum& r, const BigNum& base, const BigNum& exponent, const Montgomery& m,
                  Arithmetic& ar) {
  const std::size_t k = m.size();
  const auto bits = exponent.Limbs();
  const std::size_t span = bits.size() * kLimbBits;
  const unsigned window = WindowBits(span, k);
  const std::size_t entries = std::size_t{1} << window;

  // table[i] = base^i in Montgomery form.
  LimbBuffer table;
  LimbBuffer accumulator;
  LimbBuffer factor;
  if (!table.Allocate(entries * k, ar) || !accumulator.Allocate(k, ar) ||
      !factor.Allocate(k, ar)) {
    return false;
  }
  Limb* t = table.data();
  m.One(t);
  m.Encode(t + k, base.Limbs());
  for (std::size_t e = 2; e < entries; ++e) m.Mul(t + e * k, t + (e - 1) * k, t + k);

  Limb* acc = accumulator.data();
  m.One(acc);
  for (std::size_t w = (span + window - 1) / window; w-- > 0;) {
    for (unsigned s = 0; s < window; ++s) m.Square(acc, acc);
    LookUp(factor.data(), t, entries, k, WindowValue(bits, w * window, window));
    m.Mul(acc, acc, factor.data());
  }
  m.Decode(acc, acc);
  return r.SetLimbs(acc, k, ar);
}

}  // namespace tv::crypto
