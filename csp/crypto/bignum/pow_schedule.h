// The exponentiation schedules, shared by the portable Montgomery arithmetic
// and the accelerated ones. A field F is any type with
//   std::size_t Words() const;   // words per element (of type F::Word)
//   void Mul(Word* r, const Word* a, const Word* b) const;
//   void Square(Word* r, const Word* a) const;
//   void One(Word* r) const;     // the Montgomery form of 1
//   // out = table[index], reading every one of `entries` elements
//   void LookUp(Word* out, const Word* table, std::size_t entries, Limb index) const;
// whose Mul and Square run in time independent of the values.
#pragma once
#include <bit>
#include <cstddef>
#include <span>

#include "bignum/bignum.h"

namespace tv::crypto::detail {

// The window width of the fixed-window exponentiation that minimises the
// work for an exponent of `exponentBits`: 2^w multiplications build the
// table, then each window costs one multiplication and a scan of the
// table, of which `scansPerMul` entries take as long as one multiplication.
unsigned WindowBits(std::size_t exponentBits, std::size_t scansPerMul);

// Bits [position, position + count) of the exponent, zero beyond its end;
// the limbs read depend on the position only.
Limb WindowValue(std::span<const Limb> exponent, std::size_t position, unsigned count);

// One exponent, read window by window for PowFixedWindow.
struct ExponentWindows {
  std::span<const Limb> limbs;
  std::size_t Bits() const { return limbs.size() * kLimbBits; }
  Limb Window(std::size_t position, unsigned count) const {
    return WindowValue(limbs, position, count);
  }
};

// acc = base^exponent in Montgomery form, with every window costing the same
// squarings and one multiplication by an entry read with a full scan, so
// neither the exponent nor the base shows in the operations or the memory
// accessed (only the exponent's limb count does). `table` holds 2^window
// elements, the base in its element 1 on entry. The exponent gives Bits()
// and Window(position, count), whose value the field's LookUp takes.
template <class Field, class Exponent>
void PowFixedWindow(const Field& f, typename Field::Word* acc, typename Field::Word* table,
                    typename Field::Word* factor, unsigned window, const Exponent& exponent) {
  const std::size_t w = f.Words();
  const std::size_t entries = std::size_t{1} << window;
  f.One(table);
  for (std::size_t e = 2; e < entries; ++e) f.Mul(table + e * w, table + (e - 1) * w, table + w);
  f.One(acc);
  for (std::size_t position = (exponent.Bits() + window - 1) / window; position-- > 0;) {
    for (unsigned s = 0; s < window; ++s) f.Square(acc, acc);
    f.LookUp(factor, table, entries, exponent.Window(position * window, window));
    f.Mul(acc, acc, factor);
  }
}

// acc = base^exponent in Montgomery form by left-to-right square and
// multiply, for public exponents (without leading zero limbs): the sequence
// follows the exponent's bits, which is far less work for short exponents
// such as 65537.
template <class Field>
void PowSquareMultiply(const Field& f, typename Field::Word* acc, const typename Field::Word* base,
                       std::span<const Limb> exponent) {
  f.One(acc);
  const std::size_t bits =
      exponent.empty() ? 0 : (exponent.size() - 1) * kLimbBits + std::bit_width(exponent.back());
  for (std::size_t i = bits; i-- > 0;) {
    f.Square(acc, acc);
    if ((exponent[i / kLimbBits] >> (i % kLimbBits)) & 1) f.Mul(acc, acc, base);
  }
}

}  // namespace tv::crypto::detail
