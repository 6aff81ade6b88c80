#include "csp/front/random/random_generator.h"

#include <algorithm>

#include "cpu/wipe.h"
#include "csp/front/random/system_random.h"
#include "csp/front/random/thread_instance.h"

namespace tv::csp {
namespace {

// Entropy at the generator's 256-bit strength, plus a nonce of half that.
constexpr std::size_t kEntropyBytes = 32;
constexpr std::size_t kNonceBytes = 16;

bool Instantiate(HmacDrbg& generator, std::span<const std::uint8_t> personalization) {
  std::uint8_t seed[kEntropyBytes + kNonceBytes];
  const bool ok = ReadSystemRandom(seed) &&
                  generator.Instantiate(std::span(seed).first(kEntropyBytes),
                                        std::span(seed).subspan(kEntropyBytes), personalization);
  crypto::SecureWipe(seed, sizeof seed);
  return ok;
}

bool Reseed(HmacDrbg& generator, std::span<const std::uint8_t> additional) {
  std::uint8_t entropy[kEntropyBytes];
  const bool ok = ReadSystemRandom(entropy);
  if (ok) generator.Reseed(entropy, additional);
  crypto::SecureWipe(entropy, sizeof entropy);
  return ok;
}

// The calling thread's generator, seeded on its first use.
HmacDrbg* SeededGenerator() {
  ThreadInstance* instance = CurrentThreadInstance();
  if (instance == nullptr) return nullptr;
  if (!instance->generator.instantiated() && !Instantiate(instance->generator, {})) return nullptr;
  return &instance->generator;
}

}  // namespace

bool SeedGenerator(std::span<const std::uint8_t> extra) {
  ReleaseThreadInstance();
  ThreadInstance* instance = CurrentThreadInstance();
  if (instance != nullptr && Instantiate(instance->generator, extra)) return true;
  ReleaseThreadInstance();
  return false;
}

bool ReseedGenerator(std::span<const std::uint8_t> extra) {
  ThreadInstance* instance = CurrentThreadInstance();
  if (instance == nullptr) return false;
  if (!instance->generator.instantiated()) return Instantiate(instance->generator, extra);
  return Reseed(instance->generator, extra);
}

bool GenRandomBytes(std::span<std::uint8_t> out) {
  HmacDrbg* generator = SeededGenerator();
  if (generator == nullptr) return false;
  while (!out.empty()) {
    const std::size_t chunk = std::min(out.size(), HmacDrbg::kMaxRequest);
    if (!generator->Generate(out.first(chunk))) {
      // The reseed interval has run out.
      if (!Reseed(*generator, {}) || !generator->Generate(out.first(chunk))) return false;
    }
    out = out.subspan(chunk);
  }
  return true;
}

void ReleaseGenerator() { ReleaseThreadInstance(); }

}  // namespace tv::csp
