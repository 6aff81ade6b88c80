// Primality testing: trial division by small primes, then Miller-Rabin
// rounds with random bases.
#pragma once
#include <cstdint>
#include <span>

#include "bignum/bignum.h"
#include "bignum/random_source.h"

namespace tv::crypto {

// The odd primes 3, 5, 7, ... below 2^14 in increasing order.
std::span<const std::uint16_t> SmallOddPrimes();

// Miller-Rabin with `rounds` bases drawn uniformly from [2, n - 2], for an
// odd n of at least 5 (InvalidArgument otherwise). True when every round
// passes: a composite passes one round with probability at most 1/4. False
// also on failure, with the error recorded.
bool MillerRabin(const BigNum& n, unsigned rounds, RandomSource& random, Arithmetic& ar);

// Whether n is (probably) prime: small numbers are looked up, the rest
// trial-divided by SmallOddPrimes() and given to MillerRabin.
bool IsProbablePrime(const BigNum& n, unsigned rounds, RandomSource& random, Arithmetic& ar);

}  // namespace tv::crypto
