// The SHA-1, SHA-256 and SHA-512 compression functions in their portable
// and accelerated forms (the latter in files compiled for those
// instructions or marked for them), and the round constants both forms use.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tv::crypto::detail {

extern const std::uint32_t kSha256RoundConstants[64];
extern const std::uint64_t kSha512RoundConstants[80];

void Sha1CompressPortable(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count);
void Sha1CompressShaNi(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count);

void Sha256CompressPortable(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count);
void Sha256CompressShaNi(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count);

// SHA-384/512 (call the AVX2 form only when cpu::UseAvx2() is true).
void Sha512CompressPortable(std::uint64_t* state, const std::uint8_t* blocks, std::size_t count);
void Sha512CompressAvx2(std::uint64_t* state, const std::uint8_t* blocks, std::size_t count);

}  // namespace tv::crypto::detail
