// The primes of a new RSA key.
#pragma once
#include <cstddef>

#include "bignum/bignum.h"
#include "bignum/random_source.h"

namespace tv::crypto {

// Miller-Rabin rounds for a random candidate of `bits` bits: the minimum of
// FIPS 186-4 table C.3 (FIPS 186-5 table B.1 at the error probability that
// matches the key's security strength); below its smallest size (512-bit
// primes), 40 rounds, Rabin's worst-case bound of 2^-80.
unsigned RsaPrimeRounds(std::size_t bits);

// A random prime of exactly `bits` bits (at least 64) with its two top bits
// set, such that p - 1 is prime to the public exponent 65537. Candidates are
// random odd starting points followed by their sieved odd successors, each
// surviving one given to Miller-Rabin.
bool GenerateRsaPrime(BigNum& prime, std::size_t bits, RandomSource& random, Arithmetic& ar);

}  // namespace tv::crypto
