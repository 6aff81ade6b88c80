// SHA-1 (FIPS 180) with a typed context, for algorithms built on it (the
// SSL3 MD5/SHA-1 pair). Everyone else uses the kSha1 record of hash.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "hash/block_hash.h"

namespace tv::crypto {

using Sha1Context = detail::BlockHashContext<std::uint32_t, 5, 64>;
inline constexpr std::size_t kSha1DigestSize = 20;

// Starts a SHA-1 hash.
void Sha1Init(Sha1Context& context);
// Adds data to the running hash; whole blocks go through the SHA extensions
// when cpu::UseShaNi() allows.
void Sha1Update(Sha1Context& context, std::span<const std::uint8_t> data);
// Writes the 20-byte digest and wipes the context.
void Sha1Final(Sha1Context& context, std::uint8_t* digest);

}  // namespace tv::crypto
