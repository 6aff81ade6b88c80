// Multiprecision arithmetic on non-negative integers, sized for RSA.
//
// Numbers are BigNum values: little-endian arrays of machine limbs (64-bit
// on x64, 32-bit on x86), kept without leading zero limbs, wiped before
// their storage is freed. Values cross to and from byte strings most
// significant byte first; numbers of more than kMaxBits bits are refused
// there, which bounds everything computed from outside input.
//
// Every operation that can fail (allocation, a limit, a division by zero,
// a missing inverse) returns false and records the reason in the calling
// thread's Arithmetic instance. Results may alias operands.
//
// The general operations here (division, gcd, inverse) run in time that
// depends on the values; the Montgomery operations (montgomery.h) are the
// ones meant for secrets.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "cpu/wipe.h"

namespace tv::crypto {

// TV_BIGNUM_LIMB32 forces the 32-bit limbs of the x86 build, so that the
// 64-bit test run can check that code path as well.
#if defined(__SIZEOF_INT128__) && !defined(TV_BIGNUM_LIMB32)
using Limb = std::uint64_t;
#else
using Limb = std::uint32_t;
#endif
inline constexpr std::size_t kLimbBits = sizeof(Limb) * 8;

// Largest number accepted from a byte string: the largest RSA modulus.
inline constexpr std::size_t kMaxBits = 16384;
// Largest intermediate result: a product of two numbers of kMaxBits, plus a
// limb of headroom for carries.
inline constexpr std::size_t kMaxLimbs = 2 * kMaxBits / kLimbBits + 1;

enum class ArithmeticError {
  None,
  TooLarge,          // a number above its limit (kMaxBits from bytes, kMaxLimbs inside)
  OutOfMemory,
  DivisionByZero,
  NegativeResult,    // a subtraction whose result would be below zero
  NoInverse,         // the operand shares a factor with the modulus
  EvenModulus,       // Montgomery arithmetic needs an odd modulus
  RandomFailure,     // the random source reported a failure
  InvalidArgument,   // a size or buffer that the operation cannot use
  InvalidKey,        // key numbers that do not fit together
};

// One thread's arithmetic instance: it records the first error of the
// operation in progress. Callers reset it when an operation starts and
// treat any recorded error as failure of the whole operation.
class Arithmetic {
 public:
  bool ok() const { return error_ == ArithmeticError::None; }
  ArithmeticError error() const { return error_; }
  void Reset() { error_ = ArithmeticError::None; }
  // Records `error` unless an earlier one is recorded; always false, so a
  // failing path can `return ar.Fail(...)`.
  bool Fail(ArithmeticError error) {
    if (ok()) error_ = error;
    return false;
  }

 private:
  ArithmeticError error_ = ArithmeticError::None;
};

// Limb storage that is wiped before it is freed; allocation failures are
// recorded instead of thrown.
class LimbBuffer {
 public:
  // Replaces the contents with `count` zero limbs.
  bool Allocate(std::size_t count, Arithmetic& ar);
  void Wipe() { SecureWipe(bytes_.Data(), bytes_.Size()); }
  Limb* data() { return reinterpret_cast<Limb*>(bytes_.Data()); }
  const Limb* data() const { return reinterpret_cast<const Limb*>(bytes_.Data()); }
  std::size_t size() const { return bytes_.Size() / sizeof(Limb); }

 private:
  WipingBuffer bytes_;
};

class BigNum {
 public:
  BigNum() = default;
  BigNum(BigNum&& other) noexcept;
  BigNum& operator=(BigNum&& other) noexcept;
  BigNum(const BigNum&) = delete;  // copying can fail: use Assign
  BigNum& operator=(const BigNum&) = delete;

  // Reads a big-endian byte string (leading zero bytes allowed, empty is
  // zero). Fails with TooLarge above kMaxBits significant bits.
  bool SetBytes(std::span<const std::uint8_t> bigEndian, Arithmetic& ar);
  // Writes the value big-endian into all of `out`, zero-filled on the left;
  // false (nothing written) when it needs more than out.size() bytes. With
  // out.size() == ByteLength() this is the value without leading zeros.
  bool ToBytes(std::span<std::uint8_t> out) const;
  bool SetWord(Limb value, Arithmetic& ar);
  bool Assign(const BigNum& other, Arithmetic& ar);
  // Sets one bit, growing the number as needed.
  bool SetBit(std::size_t index, Arithmetic& ar);
  // Sets the value to zero, wiping the storage.
  void Clear();

  bool IsZero() const { return size_ == 0; }
  bool IsOdd() const { return size_ != 0 && (storage_.data()[0] & 1) != 0; }
  bool IsWord(Limb value) const;
  bool Bit(std::size_t index) const;
  std::size_t BitLength() const;
  std::size_t ByteLength() const { return (BitLength() + 7) / 8; }
  std::span<const Limb> Limbs() const { return {storage_.data(), size_}; }

  // For the library's operations: makes the value `count` zero limbs and
  // returns them for writing (null, with the error recorded, on failure);
  // Normalize() afterwards drops the leading zero limbs.
  Limb* Prepare(std::size_t count, Arithmetic& ar);
  void Normalize();
  // Takes a value of `count` limbs from raw storage (then normalised).
  bool SetLimbs(const Limb* source, std::size_t count, Arithmetic& ar);

 private:
  LimbBuffer storage_;
  std::size_t size_ = 0;  // limbs in use; storage_ may hold more
};

// Sign of a - b: negative, zero or positive.
int Compare(const BigNum& a, const BigNum& b);

bool Add(BigNum& r, const BigNum& a, const BigNum& b, Arithmetic& ar);
// r = a - b; NegativeResult when b > a.
bool Sub(BigNum& r, const BigNum& a, const BigNum& b, Arithmetic& ar);
bool AddWord(BigNum& r, const BigNum& a, Limb w, Arithmetic& ar);
// r = a - w; NegativeResult when w > a.
bool SubWord(BigNum& r, const BigNum& a, Limb w, Arithmetic& ar);
bool Mul(BigNum& r, const BigNum& a, const BigNum& b, Arithmetic& ar);
bool ShiftRight(BigNum& r, const BigNum& a, std::size_t bits, Arithmetic& ar);
// quotient = a / b and remainder = a mod b; either output may be null.
bool DivMod(BigNum* quotient, BigNum* remainder, const BigNum& a, const BigNum& b,
            Arithmetic& ar);
// a mod m for a small non-zero m (trial division, sieving).
std::uint32_t ModWord(const BigNum& a, std::uint32_t m);
bool Gcd(BigNum& r, const BigNum& a, const BigNum& b, Arithmetic& ar);
// r = a^-1 mod m, in [0, m); NoInverse when gcd(a, m) != 1.
bool ModInverse(BigNum& r, const BigNum& a, const BigNum& m, Arithmetic& ar);

}  // namespace tv::crypto
