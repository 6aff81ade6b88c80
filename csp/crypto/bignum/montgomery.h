// Modular arithmetic for secrets: Montgomery multiplication modulo an odd
// number and the modular exponentiations built on it.
//
// A value x is held in Montgomery form x·R mod m, with R = 2^(k·kLimbBits)
// for the k limbs of m. Multiplication, encoding, decoding, addition and
// subtraction run in time that depends on k only, never on the values, and
// ModPowSecret adds a fixed window schedule and a table lookup that reads
// every entry, so a secret exponent or base does not show in timing or in
// memory access.
#pragma once
#include <cstddef>
#include <span>

#include "bignum/bignum.h"

namespace tv::crypto {

// Largest modulus of Montgomery arithmetic, in limbs.
inline constexpr std::size_t kMaxModulusLimbs = kMaxBits / kLimbBits;

class Montgomery {
 public:
  // Prepares arithmetic modulo `modulus`: EvenModulus for an even number
  // (zero included), TooLarge above kMaxBits.
  bool Init(const BigNum& modulus, Arithmetic& ar);

  // Limbs of the modulus (k); every limb array below has k limbs.
  std::size_t size() const { return size_; }
  std::span<const Limb> modulus() const { return {modulus_.data(), size_}; }

  // r = a·b / R mod m, for a < R and b < m; r may alias a or b.
  void Mul(Limb* r, const Limb* a, const Limb* b) const;
  // r = a·a / R mod m, for a < m; r may alias a. Faster than Mul(r, a, a)
  // for 1024-bit moduli.
  void Square(Limb* r, const Limb* a) const;
  // r = a + b mod m and r = a - b mod m, for a, b < m.
  void Add(Limb* r, const Limb* a, const Limb* b) const;
  void Sub(Limb* r, const Limb* a, const Limb* b) const;
  // r = a·R mod m for a number of any length: the Montgomery form of a mod m.
  void Encode(Limb* r, std::span<const Limb> a) const;
  // r = a / R mod m: back from Montgomery form.
  void Decode(Limb* r, const Limb* a) const;
  // r = R mod m: the Montgomery form of 1.
  void One(Limb* r) const;

 private:
  void Double(Limb* x) const;
  void ReduceOnce(Limb* r, const Limb* t) const;
  void ComputeRSquared();

  LimbBuffer modulus_;
  LimbBuffer rSquared_;   // R^2 mod m
  Limb negInverse_ = 0;   // -m^-1 mod 2^kLimbBits
  std::size_t size_ = 0;
};

// The operations below take numbers of any size and return results below m.

// r = a mod m.
bool ModReduce(BigNum& r, const BigNum& a, const Montgomery& m, Arithmetic& ar);
// r = a·b mod m.
bool ModMul(BigNum& r, const BigNum& a, const BigNum& b, const Montgomery& m, Arithmetic& ar);
// r = (a - b) mod m.
bool ModSub(BigNum& r, const BigNum& a, const BigNum& b, const Montgomery& m, Arithmetic& ar);
// r = base^exponent mod m in constant time: only the limb counts of the
// exponent and the modulus show.
bool ModPowSecret(BigNum& r, const BigNum& base, const BigNum& exponent, const Montgomery& m,
                  Arithmetic& ar);
// rp = base^ep mod mp and rq = base^eq mod mq in constant time, as two
// ModPowSecret calls would give them (the two halves of an RSA private
// operation), faster where the processor can run both at once.
bool ModPowSecretPair(BigNum& rp, BigNum& rq, const BigNum& base, const BigNum& ep,
                      const BigNum& eq, const Montgomery& mp, const Montgomery& mq,
                      Arithmetic& ar);
// r = base^exponent mod m for a public exponent: square and multiply, whose
// sequence follows the exponent's bits (the base stays hidden).
bool ModPowPublic(BigNum& r, const BigNum& base, const BigNum& exponent, const Montgomery& m,
                  Arithmetic& ar);

}  // namespace tv::crypto
