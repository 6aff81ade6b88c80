// RSA key generation.
#include <utility>

#include "rsa/rsa.h"
#include "rsa/rsa_prime.h"

namespace tv::crypto {
namespace {

// |p - q| >= 2^(half - 99), so that n cannot be factored from its square
// root (FIPS 186-4 asks for more than 2^(half - 100)).
bool FarApart(const BigNum& p, const BigNum& q, std::size_t half, Arithmetic& ar) {
  BigNum distance;
  const bool pLarger = Compare(p, q) >= 0;
  return Sub(distance, pLarger ? p : q, pLarger ? q : p, ar) &&
         distance.BitLength() > half - 99;
}

bool GeneratePrimes(RsaKey& key, std::size_t half, RandomSource& random, Arithmetic& ar) {
  if (!GenerateRsaPrime(key.p, half, random, ar)) return false;
  // Only a source that repeats itself draws q too close to p again and again.
  constexpr int kMaxDraws = 16;
  for (int draw = 0; draw < kMaxDraws; ++draw) {
    if (!GenerateRsaPrime(key.q, half, random, ar)) return false;
    if (FarApart(key.p, key.q, half, ar)) return true;
  }
  return ar.Fail(ArithmeticError::RandomFailure);
}

// n, d and the CRT numbers from p, q and e.
bool DeriveNumbers(RsaKey& key, Arithmetic& ar) {
  BigNum pMinus1;
  BigNum qMinus1;
  BigNum phi;
  return Mul(key.n, key.p, key.q, ar) && SubWord(pMinus1, key.p, 1, ar) &&
         SubWord(qMinus1, key.q, 1, ar) && Mul(phi, pMinus1, qMinus1, ar) &&
         ModInverse(key.d, key.e, phi, ar) && DivMod(nullptr, &key.dp, key.d, pMinus1, ar) &&
         DivMod(nullptr, &key.dq, key.d, qMinus1, ar) && ModInverse(key.qinv, key.q, key.p, ar);
}

}  // namespace

bool RsaGenerate(RsaKey& key, std::size_t bits, Arithmetic& ar, RandomSource& random) {
  ar.Reset();
  if (bits < kRsaMinBits || bits > kRsaMaxBits || bits % 8 != 0) {
    return ar.Fail(ArithmeticError::InvalidArgument);
  }
  RsaKey made;
  if (!made.e.SetWord(kRsaPublicExponent, ar) || !GeneratePrimes(made, bits / 2, random, ar) ||
      !DeriveNumbers(made, ar)) {
    return false;
  }
  key = std::move(made);
  return true;
}

}  // namespace tv::crypto
