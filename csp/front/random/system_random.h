// The operating system's random generator, the entropy source of every
// seeding of the provider's generator.
#pragma once
#include <cstdint>
#include <span>

namespace tv::csp {

// Fills out from RtlGenRandom; false when the system generator fails.
bool ReadSystemRandom(std::span<std::uint8_t> out);

}  // namespace tv::csp
