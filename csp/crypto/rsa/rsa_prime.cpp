// Prime search for key generation: a random start, a sieve over the odd
// numbers that follow it, Miller-Rabin on what the sieve leaves.
#include "rsa/rsa_prime.h"

#include <bitset>
#include <utility>

#include "bignum/prime.h"
#include "rsa/rsa.h"

namespace tv::crypto {
namespace {

// Candidates per random start: start + 2·slot. A start without a prime
// among them (likely only for the largest primes) is followed by another.
constexpr std::size_t kSieveSlots = 4096;
using Sieve = std::bitset<kSieveSlots>;

// Marks the slots whose candidate a small odd prime divides.
void SieveSmallPrimes(const BigNum& start, Sieve& composite) {
  for (const std::uint32_t p : SmallOddPrimes()) {
    const std::uint32_t residue = ModWord(start, p);
    // start + 2t = 0 (mod p)  <=>  t = (p - residue)·(p + 1)/2 (mod p)
    std::size_t slot = static_cast<std::size_t>(((p - residue) % p) * ((p + 1) / 2) % p);
    for (; slot < kSieveSlots; slot += p) composite.set(slot);
  }
}

bool RandomStart(BigNum& start, std::size_t bits, RandomSource& random, Arithmetic& ar) {
  return RandomBits(start, bits, random, ar) && start.SetBit(bits - 1, ar) &&
         start.SetBit(bits - 2, ar) && start.SetBit(0, ar);
}

}  // namespace

unsigned RsaPrimeRounds(std::size_t bits) {
  if (bits >= 1536) return 4;
  if (bits >= 1024) return 5;
  if (bits >= 512) return 7;
  return 40;
}

bool GenerateRsaPrime(BigNum& prime, std::size_t bits, RandomSource& random, Arithmetic& ar) {
  if (bits < 64) return ar.Fail(ArithmeticError::InvalidArgument);
  const unsigned rounds = RsaPrimeRounds(bits);
  // A working source needs a couple of starts at most; one that repeats
  // itself never gets anywhere.
  constexpr int kMaxStarts = 1000;
  for (int attempt = 0; attempt < kMaxStarts; ++attempt) {
    BigNum start;
    if (!RandomStart(start, bits, random, ar)) return false;
    Sieve composite;
    SieveSmallPrimes(start, composite);
    for (std::size_t slot = 0; slot < kSieveSlots; ++slot) {
      if (composite[slot]) continue;
      BigNum candidate;
      if (!AddWord(candidate, start, 2 * static_cast<Limb>(slot), ar)) return false;
      if (candidate.BitLength() != bits) break;  // carried into the top bits
      if (ModWord(candidate, kRsaPublicExponent) == 1) continue;
      if (MillerRabin(candidate, rounds, random, ar)) {
        prime = std::move(candidate);
        return true;
      }
      if (!ar.ok()) return false;
    }
  }
  return ar.Fail(ArithmeticError::RandomFailure);
}

}  // namespace tv::crypto
