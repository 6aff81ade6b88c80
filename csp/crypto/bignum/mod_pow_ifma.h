// Modular exponentiation on the AVX-512 52-bit multiply-add instructions
// (IFMA): numbers in 52-bit digits, eight to a vector register, with an
// almost-Montgomery multiplication whose results stay below 2m. Call it only
// when cpu::UseAvx512Ifma() is true.
#pragma once
#include "bignum/montgomery.h"

namespace tv::crypto::detail {

enum class ExponentKind {
  Secret,  // fixed window and full table scans: nothing of it shows
  Public,  // square and multiply along its bits
};

// Whether one exponentiation modulo m runs faster here than on the portable
// code: for moduli above about 400 bits (secret exponents) or 1100 bits
// (short public ones). Below, the portable multiplication is as fast as the
// chain of carries of one IFMA multiplication, and the conversions to and
// from digits cost more than the exponentiation saves.
bool IfmaPaysOff(const Montgomery& m, ExponentKind kind);

// r = base^exponent mod m for a base of any size.
bool ModPowIfma(BigNum& r, const BigNum& base, const BigNum& exponent, ExponentKind kind,
                const Montgomery& m, Arithmetic& ar);

// Whether ModPowPairIfma can take these two moduli: their digits fill the
// same number of vectors.
bool PairsWithIfma(const Montgomery& mp, const Montgomery& mq);

// rp = base^ep mod mp and rq = base^eq mod mq, for secret exponents, the two
// exponentiations interleaved step by step.
bool ModPowPairIfma(BigNum& rp, BigNum& rq, const BigNum& base, const BigNum& ep,
                    const BigNum& eq, const Montgomery& mp, const Montgomery& mq,
                    Arithmetic& ar);

}  // namespace tv::crypto::detail
