// Modular exponentiation on AVX-512 IFMA. Only the functions marked
// TV_IFMA use those instructions; the rest of the file is portable code
// that converts between limbs and 52-bit digits around them.
//
// The multiplication is the almost-Montgomery form: with R = 2^(52n) > 4m
// for n digits, inputs below 2m give a result below 2m, so nothing is
// reduced between multiplications; the final conversion out of Montgomery
// form gives at most m, and one masked subtraction ends it.
#include "bignum/mod_pow_ifma.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#include "bignum/limb_ops.h"
#include "bignum/pow_schedule.h"

#define TV_IFMA __attribute__((target("avx512f,avx512ifma")))

namespace tv::crypto::detail {
namespace {

using Digit = std::uint64_t;
constexpr unsigned kDigitBits = 52;
constexpr Digit kDigitMask = (Digit{1} << kDigitBits) - 1;
constexpr std::size_t kLanes = 8;  // digits per vector register
constexpr std::size_t kVectorBits = kLanes * kDigitBits;
// Room for R > 4m with the largest modulus.
constexpr std::size_t kMaxVectors = (kMaxBits + 2 + kVectorBits - 1) / kVectorBits;
constexpr std::size_t VectorsOf(std::size_t digits) { return (digits + kLanes - 1) / kLanes; }
// Table entries scanned in the time of one multiplication.
constexpr std::size_t kScansPerMul = 64;

// -m0^-1 mod 2^52 for odd m0, by Newton's iteration (each step doubles the
// number of correct low bits, starting from the 3 that m0 itself gives).
Digit NegativeInverse52(Digit m0) {
  Digit inverse = m0;
  for (int i = 0; i < 5; ++i) inverse *= 2 - m0 * inverse;
  return (Digit{0} - inverse) & kDigitMask;
}

// The digits of a little-endian byte string, as many as `digits` holds.
void ToDigits(std::span<Digit> digits, const std::uint8_t* bytes) {
  for (std::size_t d = 0; d < digits.size(); ++d) {
    const std::size_t bit = d * kDigitBits;
    Digit word;
    std::memcpy(&word, bytes + bit / 8, sizeof word);
    digits[d] = (word >> (bit % 8)) & kDigitMask;
  }
}

// The little-endian bytes of normalised digits; `bytes` holds 8n + 8 bytes.
void FromDigits(std::uint8_t* bytes, std::span<const Digit> digits) {
  std::memset(bytes, 0, 8 * digits.size() + 8);
  for (std::size_t d = 0; d < digits.size(); ++d) {
    const std::size_t bit = d * kDigitBits;
    Digit word;
    std::memcpy(&word, bytes + bit / 8, sizeof word);
    word |= digits[d] << (bit % 8);
    std::memcpy(bytes + bit / 8, &word, sizeof word);
  }
}

TV_IFMA inline __m512i Load(const Digit* p, std::size_t vector) {
  return _mm512_loadu_si512(p + vector * kLanes);
}
TV_IFMA inline void Store(Digit* p, std::size_t vector, __m512i value) {
  _mm512_storeu_si512(p + vector * kLanes, value);
}

// The masked forms of the instructions below, with every lane selected,
// spare the undefined source that the unmasked intrinsics pass and g++ 12
// warns about.

// Lanes 1..7 of low and lane 0 of high: one digit down.
TV_IFMA inline __m512i ShiftDown(__m512i low, __m512i high) {
  return _mm512_maskz_alignr_epi64(0xFF, high, low, 1);
}

// Lane 0 in every lane.
TV_IFMA inline __m512i Broadcast0(__m512i v) {
  return _mm512_maskz_permutexvar_epi64(0xFF, _mm512_setzero_si512(), v);
}

// Operand scanning: for each digit b[i] of R = 2^(52·digits) (the lanes
// above those digits are zero in a, b and m), x += a·b[i] + m·y with y
// chosen so that the lowest digit of x becomes zero, then x moves down one
// digit. The
// low halves of the products land in the digit's own lane, the high halves
// in the next one, which after the move is the same lane: they are summed
// apart (in h) and join x one step later, so that the chain from one y to
// the next holds only the low product m·y, the move and two additions.
// Lanes collect unnormalised sums (at most 4n terms below 2^52 each, far
// below 2^64); only the lowest lane's carry moves along each step.
//
// L independent products (of L moduli of the same size) run interleaved,
// each element holding their n-digit numbers one after the other: the chain
// of one leaves the multipliers idle, which the others fill. The vector
// count is a compile-time constant so that the sums stay in registers.
template <std::size_t L, std::size_t V>
TV_IFMA void MulVectors(Digit* r, const Digit* a, const Digit* b, const Digit* m, const Digit* k0,
                        std::size_t digits) {
  constexpr std::size_t n = V * kLanes;
  const __m512i zero = _mm512_setzero_si512();
  __m512i k0s[L];
  __m512i x[L][V];
  __m512i h[L][V];
#pragma GCC unroll 4
  for (std::size_t l = 0; l < L; ++l) {
    k0s[l] = _mm512_set1_epi64(static_cast<long long>(k0[l]));
#pragma GCC unroll 64
    for (std::size_t j = 0; j < V; ++j) x[l][j] = h[l][j] = zero;
  }
  for (std::size_t i = 0; i < digits; ++i) {
#pragma GCC unroll 4
    for (std::size_t l = 0; l < L; ++l) {
      const Digit* al = a + l * n;
      const Digit* ml = m + l * n;
      __m512i* xl = x[l];
      __m512i* hl = h[l];
      const __m512i bi = _mm512_set1_epi64(static_cast<long long>(b[l * n + i]));
#pragma GCC unroll 64
      for (std::size_t j = 0; j < V; ++j) {
        xl[j] = _mm512_add_epi64(xl[j], _mm512_madd52lo_epu64(hl[j], Load(al, j), bi));
      }
      const __m512i y =
          Broadcast0(_mm512_madd52lo_epu64(zero, xl[0], k0s[l]));
#pragma GCC unroll 64
      for (std::size_t j = 0; j < V; ++j) {
        xl[j] = _mm512_madd52lo_epu64(xl[j], Load(ml, j), y);
        hl[j] = _mm512_madd52hi_epu64(_mm512_madd52hi_epu64(zero, Load(al, j), bi), Load(ml, j), y);
      }
      hl[0] = _mm512_add_epi64(hl[0], _mm512_maskz_srli_epi64(1, xl[0], kDigitBits));
#pragma GCC unroll 64
      for (std::size_t j = 0; j + 1 < V; ++j) xl[j] = ShiftDown(xl[j], xl[j + 1]);
      xl[V - 1] = ShiftDown(xl[V - 1], zero);
    }
  }
  Digit sums[L * n];
#pragma GCC unroll 4
  for (std::size_t l = 0; l < L; ++l) {
#pragma GCC unroll 64
    for (std::size_t j = 0; j < V; ++j) Store(sums + l * n, j, _mm512_add_epi64(x[l][j], h[l][j]));
  }
  for (std::size_t l = 0; l < L; ++l) {
    Digit carry = 0;
    for (std::size_t d = l * n; d < (l + 1) * n; ++d) {
      const Digit sum = sums[d] + carry;
      r[d] = sum & kDigitMask;
      carry = sum >> kDigitBits;
    }
  }
}

using MulFunction = void (*)(Digit* r, const Digit* a, const Digit* b, const Digit* m,
                             const Digit* k0, std::size_t digits);

template <std::size_t L, std::size_t... V>
constexpr auto MakeMulTable(std::index_sequence<V...>) {
  return std::array<MulFunction, sizeof...(V)>{MulVectors<L, V + 1>...};
}
// kMulFunctions<L>[v - 1] multiplies L numbers of v vectors each; L = 2 serves
// the halves of RSA keys up to the largest.
template <std::size_t L>
constexpr auto kMulFunctions = MakeMulTable<L>(std::make_index_sequence<kMaxVectors / L>());

// The exponents of L exponentiations, read window by window together.
template <std::size_t L>
struct ExponentSet {
  std::array<std::span<const Limb>, L> limbs;

  std::size_t Bits() const {
    std::size_t most = 0;
    for (const auto& e : limbs) most = std::max(most, e.size() * kLimbBits);
    return most;
  }
  std::array<Limb, L> Window(std::size_t position, unsigned count) const {
    std::array<Limb, L> values;
    for (std::size_t l = 0; l < L; ++l) values[l] = WindowValue(limbs[l], position, count);
    return values;
  }
};

// Montgomery arithmetic modulo L moduli of n = 8·vectors digits each, on
// elements of L·n digits.
template <std::size_t L>
class IfmaField {
 public:
  using Word = Digit;
  using Index = std::array<Limb, L>;
  // `modulus` and `one` (R mod m, set by the owner before One is used) hold
  // L·n digits.
  IfmaField(const Digit* modulus, const Digit* one, std::size_t digits)
      : m_(modulus), one_(one), vectors_(VectorsOf(digits)), digits_(digits),
        mul_(kMulFunctions<L>[vectors_ - 1]) {
    for (std::size_t l = 0; l < L; ++l) k0_[l] = NegativeInverse52(modulus[l * vectors_ * kLanes]);
  }

  std::size_t Words() const { return L * vectors_ * kLanes; }
  // r = a·b / R, below 2m for a, b below 2m; r may alias a or b.
  void Mul(Digit* r, const Digit* a, const Digit* b) const { mul_(r, a, b, m_, k0_, digits_); }
  void Square(Digit* r, const Digit* a) const { Mul(r, a, a); }
  void One(Digit* r) const { std::memcpy(r, one_, Words() * sizeof(Digit)); }
  TV_IFMA void LookUp(Digit* out, const Digit* table, std::size_t entries, Index index) const {
    const std::size_t words = Words();
    for (std::size_t l = 0; l < L; ++l) {
      const __m512i wanted = _mm512_set1_epi64(static_cast<long long>(index[l]));
      for (std::size_t j = l * vectors_; j < (l + 1) * vectors_; ++j) {
        __m512i selected = _mm512_setzero_si512();
        for (std::size_t e = 0; e < entries; ++e) {
          const __mmask8 hit =
              _mm512_cmpeq_epi64_mask(_mm512_set1_epi64(static_cast<long long>(e)), wanted);
          selected = _mm512_mask_mov_epi64(selected, hit, Load(table + e * words, j));
        }
        Store(out, j, selected);
      }
    }
  }

 private:
  const Digit* m_;
  const Digit* one_;
  std::size_t vectors_;
  std::size_t digits_;
  Digit k0_[L];
  MulFunction mul_;
};

// The 52-bit digits of R = 2^(52·digits) > 4m.
std::size_t DigitsFor(const Montgomery& m) {
  const auto modulus = m.modulus();
  const std::size_t k = modulus.size();
  const std::size_t bits = (k - 1) * kLimbBits + std::bit_width(modulus[k - 1]);
  return (bits + 2 + kDigitBits - 1) / kDigitBits;
}

std::size_t VectorsFor(const Montgomery& m) { return VectorsOf(DigitsFor(m)); }

// The storage of one exponentiation, wiped when it ends.
class Workspace {
 public:
  // Elements of `words` digits: modulus, one, R^2, accumulator, factor, two
  // of scratch bytes, then `entries` of the table.
  enum Element : std::size_t { kModulus, kOne, kRSquared, kAccumulator, kFactor, kScratch, kTable = kScratch + 2 };

  bool Allocate(std::size_t words, std::size_t entries, std::size_t limbs, Arithmetic& ar) {
    words_ = words;
    digits_ = WipingBuffer((kTable + entries) * words * sizeof(Digit));
    if (digits_.Data() == nullptr) return ar.Fail(ArithmeticError::OutOfMemory);
    return limbs_.Allocate(limbs, ar);
  }
  Digit* operator[](std::size_t element) {
    return reinterpret_cast<Digit*>(digits_.Data()) + element * words_;
  }
  std::uint8_t* Bytes() { return reinterpret_cast<std::uint8_t*>((*this)[kScratch]); }
  Limb* Limbs() { return limbs_.data(); }

 private:
  std::size_t words_ = 0;
  WipingBuffer digits_;
  LimbBuffer limbs_;
};

// One modulus of an exponentiation: its limbs in and out of the digits of
// its part (part l of L) of each element.
class Part {
 public:
  Part(Workspace& work, const Montgomery& m, std::size_t n, std::size_t digits, std::size_t offset)
      : work_(work), m_(m), n_(n), digits_(digits), offset_(offset) {}

  Digit* operator[](std::size_t element) { return work_[element] + offset_; }

  // Fills this part of the modulus and R^2 elements; `power` is scratch.
  bool Prepare(Arithmetic& ar) {
    const std::size_t k = m_.size();
    ToPart(Workspace::kModulus, m_.modulus().data());
    // 2^(104n) = 2^(104n - kLimbBits·k)·R_limbs: its Montgomery form in limbs.
    const std::size_t powerBits = 2 * kDigitBits * digits_ - kLimbBits * k;
    LimbBuffer power;
    if (!power.Allocate(powerBits / kLimbBits + 1, ar)) return false;
    power.data()[powerBits / kLimbBits] = Limb{1} << (powerBits % kLimbBits);
    m_.Encode(work_.Limbs(), {power.data(), power.size()});
    ToPart(Workspace::kRSquared, work_.Limbs());
    return true;
  }

  // This part of `element` = the digits of value mod m.
  void Reduced(std::size_t element, const BigNum& value) {
    Limb* limbs = work_.Limbs();
    m_.Encode(limbs, value.Limbs());
    m_.Decode(limbs, limbs);
    ToPart(element, limbs);
  }

  // r = this part of `element`, a number of at most m, reduced below m.
  bool Result(BigNum& r, std::size_t element, Arithmetic& ar) {
    const std::size_t k = m_.size();
    std::uint8_t* bytes = work_.Bytes();
    FromDigits(bytes, std::span((*this)[element], n_));
    Limb* value = work_.Limbs();
    Limb* reduced = value + k;
    std::memcpy(value, bytes, k * sizeof(Limb));
    const Limb borrow = limbs::SubN(reduced, value, m_.modulus().data(), k);
    limbs::Select(value, value, reduced, k, limbs::NonZeroMask(borrow));
    return r.SetLimbs(value, k, ar);
  }

 private:
  void ToPart(std::size_t element, const Limb* limbs) {
    std::uint8_t* bytes = work_.Bytes();
    std::memset(bytes, 0, (n_ + 1) * sizeof(Digit));
    std::memcpy(bytes, limbs, m_.size() * sizeof(Limb));
    ToDigits(std::span((*this)[element], n_), bytes);
  }

  Workspace& work_;
  const Montgomery& m_;
  std::size_t n_;       // digits of an element's part
  std::size_t digits_;  // of R
  std::size_t offset_;
};

template <std::size_t L, std::size_t... I>
std::array<Part, L> MakeParts(Workspace& work, const std::array<const Montgomery*, L>& moduli,
                              std::size_t n, std::size_t digits, std::index_sequence<I...>) {
  return {Part(work, *moduli[I], n, digits, I * n)...};
}

// The work of L exponentiations of the same digit size, interleaved.
template <std::size_t L>
bool PowInterleaved(const std::array<BigNum*, L>& results, const BigNum& base,
                    const ExponentSet<L>& exponents, ExponentKind kind,
                    const std::array<const Montgomery*, L>& moduli, Arithmetic& ar) {
  std::size_t digits = 0;
  for (const Montgomery* m : moduli) digits = std::max(digits, DigitsFor(*m));
  const std::size_t n = VectorsOf(digits) * kLanes;
  const unsigned window = kind == ExponentKind::Secret ? WindowBits(exponents.Bits(), kScansPerMul) : 1;
  std::size_t limbs = 0;
  for (const Montgomery* m : moduli) limbs = std::max(limbs, 2 * m->size());
  Workspace work;
  if (!work.Allocate(L * n, std::size_t{1} << window, limbs, ar)) return false;
  std::array<Part, L> parts = MakeParts(work, moduli, n, digits, std::make_index_sequence<L>());
  for (Part& part : parts) {
    if (!part.Prepare(ar)) return false;
  }
  const IfmaField<L> field(work[Workspace::kModulus], work[Workspace::kOne], digits);
  Digit* unit = work[Workspace::kFactor];
  const auto setUnit = [&] {
    std::memset(unit, 0, L * n * sizeof(Digit));
    for (std::size_t l = 0; l < L; ++l) unit[l * n] = 1;
  };
  setUnit();
  field.Mul(work[Workspace::kOne], work[Workspace::kRSquared], unit);  // R mod m

  Digit* table = work[Workspace::kTable];
  Digit* acc = work[Workspace::kAccumulator];
  for (Part& part : parts) part.Reduced(Workspace::kFactor, base);
  field.Mul(table + L * n, work[Workspace::kFactor], work[Workspace::kRSquared]);
  if (kind == ExponentKind::Secret) {
    PowFixedWindow(field, acc, table, work[Workspace::kFactor], window, exponents);
  } else {
    PowSquareMultiply(field, acc, table + L * n, exponents.limbs[0]);
  }
  setUnit();
  field.Mul(acc, acc, unit);  // out of Montgomery form: at most m
  for (std::size_t l = 0; l < L; ++l) {
    if (!parts[l].Result(*results[l], Workspace::kAccumulator, ar)) return false;
  }
  return true;
}

}  // namespace

bool ModPowIfma(BigNum& r, const BigNum& base, const BigNum& exponent, ExponentKind kind,
                const Montgomery& m, Arithmetic& ar) {
  return PowInterleaved<1>({&r}, base, {{exponent.Limbs()}}, kind, {&m}, ar);
}

bool IfmaPaysOff(const Montgomery& m, ExponentKind kind) {
  // Measured break-even points: about 400 bits for secret exponents, between
  // 1024 and 2048 bits for 65537.
  return DigitsFor(m) * kDigitBits > (kind == ExponentKind::Secret ? 400u : 1100u);
}

bool PairsWithIfma(const Montgomery& mp, const Montgomery& mq) {
  return VectorsFor(mp) == VectorsFor(mq) && VectorsFor(mp) <= kMaxVectors / 2;
}

bool ModPowPairIfma(BigNum& rp, BigNum& rq, const BigNum& base, const BigNum& ep,
                    const BigNum& eq, const Montgomery& mp, const Montgomery& mq,
                    Arithmetic& ar) {
  return PowInterleaved<2>({&rp, &rq}, base, {{ep.Limbs(), eq.Limbs()}}, ExponentKind::Secret,
                           {&mp, &mq}, ar);
}

}  // namespace tv::crypto::detail
