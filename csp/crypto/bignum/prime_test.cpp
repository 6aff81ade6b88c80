// Trial division and the Miller-Rabin test.
#include <algorithm>

#include "bignum/montgomery.h"
#include "bignum/prime.h"

namespace tv::crypto {
namespace {

// Whether x = a^d mod n opens a passing sequence: x = 1, or x = -1 within
// the next s - 1 squarings.
bool PassesRound(BigNum& x, const BigNum& minusOne, std::size_t s, const Montgomery& mont,
                 Arithmetic& ar) {
  if (x.IsWord(1) || Compare(x, minusOne) == 0) return true;
  for (std::size_t i = 1; i < s; ++i) {
    if (!ModMul(x, x, x, mont, ar)) return false;
    if (Compare(x, minusOne) == 0) return true;
    if (x.IsWord(1)) return false;
  }
  return false;
}

}  // namespace

bool MillerRabin(const BigNum& n, unsigned rounds, RandomSource& random, Arithmetic& ar) {
  if (!n.IsOdd() || n.BitLength() < 3) {
    return ar.Fail(ArithmeticError::InvalidArgument);
  }
  // n - 1 = 2^s · d with d odd.
  BigNum minusOne;
  BigNum d;
  BigNum baseRange;  // bases are 2 + [0, n - 3)
  Montgomery mont;
  if (!SubWord(minusOne, n, 1, ar) || !SubWord(baseRange, n, 3, ar) || !mont.Init(n, ar)) {
    return false;
  }
  std::size_t s = 0;
  while (!minusOne.Bit(s)) ++s;
  if (!ShiftRight(d, minusOne, s, ar)) return false;

  for (unsigned round = 0; round < rounds; ++round) {
    BigNum base;
    BigNum x;
    if (!RandomBelow(base, baseRange, random, ar) || !AddWord(base, base, 2, ar) ||
        !ModPowSecret(x, base, d, mont, ar)) {
      return false;
    }
    if (!PassesRound(x, minusOne, s, mont, ar)) return false;
  }
  return true;
}

bool IsProbablePrime(const BigNum& n, unsigned rounds, RandomSource& random, Arithmetic& ar) {
  const auto primes = SmallOddPrimes();
  if (n.BitLength() <= 16 && (n.Limbs().empty() || n.Limbs()[0] <= primes.back())) {
    const Limb value = n.IsZero() ? 0 : n.Limbs()[0];
    return value == 2 || std::binary_search(primes.begin(), primes.end(), value);
  }
  if (!n.IsOdd()) return false;
  for (const std::uint16_t p : primes) {
    if (ModWord(n, p) == 0) return false;
  }
  return MillerRabin(n, rounds, random, ar);
}

}  // namespace tv::crypto
