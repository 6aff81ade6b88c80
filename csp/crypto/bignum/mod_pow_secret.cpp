// Fixed-window modular exponentiation for secret exponents, on the
// accelerated arithmetic where the processor has it, else on the portable
// Montgomery arithmetic.
#include <cstring>

#include "bignum/limb_ops.h"
#include "bignum/montgomery.h"
#include "bignum/mod_pow_ifma.h"
#include "bignum/portable_field.h"
#include "bignum/pow_schedule.h"
#include "cpu/cpu_features.h"

namespace tv::crypto {
namespace detail {

unsigned WindowBits(std::size_t exponentBits, std::size_t scansPerMul) {
  constexpr unsigned kMaxWindow = 7;
  // In units of one table entry's scan.
  auto cost = [&](unsigned w) {
    const std::size_t entries = std::size_t{1} << w;
    return entries * scansPerMul + exponentBits / w * (scansPerMul + entries);
  };
  unsigned best = 1;
  for (unsigned w = 2; w <= kMaxWindow; ++w) {
    if (cost(w) < cost(best)) best = w;
  }
  return best;
}

Limb WindowValue(std::span<const Limb> exponent, std::size_t position, unsigned count) {
  const std::size_t limb = position / kLimbBits;
  const unsigned offset = static_cast<unsigned>(position % kLimbBits);
  if (limb >= exponent.size()) return 0;
  Limb value = exponent[limb] >> offset;
  if (offset + count > kLimbBits && limb + 1 < exponent.size()) {
    value |= exponent[limb + 1] << (kLimbBits - offset);
  }
  return value & ((Limb{1} << count) - 1);
}

void PortableField::LookUp(Limb* out, const Limb* table, std::size_t entries, Limb index) const {
  const std::size_t k = m_.size();
  std::memset(out, 0, k * sizeof(Limb));
  for (std::size_t e = 0; e < entries; ++e) {
    const Limb mask = limbs::EqualMask(static_cast<Limb>(e), index);
    for (std::size_t i = 0; i < k; ++i) out[i] |= table[e * k + i] & mask;
  }
}

}  // namespace detail

bool ModPowSecret(BigNum& r, const BigNum& base, const BigNum& exponent, const Montgomery& m,
                  Arithmetic& ar) {
  if (cpu::UseAvx512Ifma() && detail::IfmaPaysOff(m, detail::ExponentKind::Secret)) {
    return detail::ModPowIfma(r, base, exponent, detail::ExponentKind::Secret, m, ar);
  }
  const std::size_t k = m.size();
  // A table entry's scan costs about 1/(16k) of a k-limb multiplication.
  const unsigned window = detail::WindowBits(exponent.Limbs().size() * kLimbBits, 16 * k);
  LimbBuffer table;
  LimbBuffer accumulator;
  LimbBuffer factor;
  if (!table.Allocate((std::size_t{1} << window) * k, ar) || !accumulator.Allocate(k, ar) ||
      !factor.Allocate(k, ar)) {
    return false;
  }
  m.Encode(table.data() + k, base.Limbs());
  detail::PowFixedWindow(detail::PortableField(m), accumulator.data(), table.data(),
                         factor.data(), window, detail::ExponentWindows{exponent.Limbs()});
  m.Decode(accumulator.data(), accumulator.data());
  return r.SetLimbs(accumulator.data(), k, ar);
}

bool ModPowSecretPair(BigNum& rp, BigNum& rq, const BigNum& base, const BigNum& ep,
                      const BigNum& eq, const Montgomery& mp, const Montgomery& mq,
                      Arithmetic& ar) {
  if (cpu::UseAvx512Ifma() && detail::PairsWithIfma(mp, mq)) {
    return detail::ModPowPairIfma(rp, rq, base, ep, eq, mp, mq, ar);
  }
  return ModPowSecret(rp, base, ep, mp, ar) && ModPowSecret(rq, base, eq, mq, ar);
}

}  // namespace tv::crypto
