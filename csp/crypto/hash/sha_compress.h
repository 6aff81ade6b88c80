// The SHA-1 and SHA-256 compression functions in their portable and
// SHA-extension forms (the latter in files compiled for those instructions;
// call them only when cpu::UseShaNi() is true), and the SHA-256 round
// constants both forms use.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tv::crypto::detail {

extern const std::uint32_t kSha256RoundConstants[64];

void Sha1CompressPortable(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count);
void Sha1CompressShaNi(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count);

void Sha256CompressPortable(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count);
void Sha256CompressShaNi(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count);

}  // namespace tv::crypto::detail
