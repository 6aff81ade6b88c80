// MD5 (RFC 1321) with a typed context, for algorithms built on it (the SSL3
// MD5/SHA-1 pair). Everyone else uses the kMd5 record of hash.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "hash/block_hash.h"

namespace tv::crypto {

using Md5Context = detail::BlockHashContext<std::uint32_t, 4, 64>;
inline constexpr std::size_t kMd5DigestSize = 16;

// Starts an MD5 hash.
void Md5Init(Md5Context& context);
// Adds data to the running hash.
void Md5Update(Md5Context& context, std::span<const std::uint8_t> data);
// Writes the 16-byte digest and wipes the context.
void Md5Final(Md5Context& context, std::uint8_t* digest);

}  // namespace tv::crypto
