// The provider's software random generator: one HMAC_DRBG (SHA-256) per
// thread in the thread's instance (thread_instance.h). Every seeding draws
// fresh entropy from the operating system; bytes given by callers (the
// entropy record, the Key's random bytes) are mixed in as extra input and
// never replace it. A thread that draws without having been seeded is
// seeded from the operating system on its first draw.
#pragma once
#include <cstdint>
#include <span>

#include "bignum/random_source.h"

namespace tv::csp {

// Creates the calling thread's instance anew (any previous one is wiped)
// and seeds its generator from the operating system, with `extra` as
// personalization. On failure the instance is released and false returned.
bool SeedGenerator(std::span<const std::uint8_t> extra);

// Reseeds the calling thread's generator from the operating system with
// `extra` as additional input (seeding it first when it has no seed yet).
// False, with the generator unchanged, when the system generator fails.
bool ReseedGenerator(std::span<const std::uint8_t> extra);

// Fills out from the calling thread's generator; any length, including 0.
bool GenRandomBytes(std::span<std::uint8_t> out);

// Wipes and frees the calling thread's instance.
void ReleaseGenerator();

// The calling thread's generator as the random source of key generation
// and RSA blinding.
class GeneratorSource final : public crypto::RandomSource {
 public:
  bool Fill(std::span<std::uint8_t> out) override { return GenRandomBytes(out); }
};

}  // namespace tv::csp
