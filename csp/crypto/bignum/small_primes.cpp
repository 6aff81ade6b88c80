// The table of small odd primes, built at compile time.
#include <array>

#include "bignum/prime.h"

namespace tv::crypto {
namespace {

constexpr std::uint32_t kSmallPrimeLimit = 1u << 14;

constexpr std::size_t CountOddPrimesBelow(std::uint32_t limit) {
  std::size_t count = 0;
  for (std::uint32_t n = 3; n < limit; n += 2) {
    bool prime = true;
    for (std::uint32_t d = 3; d * d <= n && prime; d += 2) prime = n % d != 0;
    if (prime) ++count;
  }
  return count;
}

template <std::size_t Count>
constexpr std::array<std::uint16_t, Count> OddPrimesBelow(std::uint32_t limit) {
  std::array<std::uint16_t, Count> primes{};
  std::size_t count = 0;
  for (std::uint32_t n = 3; n < limit; n += 2) {
    bool prime = true;
    for (std::size_t i = 0; i < count && std::uint32_t{primes[i]} * primes[i] <= n && prime; ++i) {
      prime = n % primes[i] != 0;
    }
    if (prime) primes[count++] = static_cast<std::uint16_t>(n);
  }
  return primes;
}

constexpr auto kSmallOddPrimes =
    OddPrimesBelow<CountOddPrimesBelow(kSmallPrimeLimit)>(kSmallPrimeLimit);

}  // namespace

std::span<const std::uint16_t> SmallOddPrimes() { return kSmallOddPrimes; }

}  // namespace tv::crypto
