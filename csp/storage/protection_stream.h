// The RC4 keystream that hides a software container's stored values. One
// stream per container, started afresh from the container's 16-byte
// protection key for every read and write; each value is XORed with the
// part of the stream at that value's position.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "csp/crypto/cpu/wipe.h"

namespace tv::csp {

inline constexpr std::size_t kProtectionKeySize = 16;
using ProtectionKey = std::span<const std::uint8_t, kProtectionKeySize>;

// Protection key bytes, wiped when they go away.
struct ProtectionKeyBytes {
  std::uint8_t bytes[kProtectionKeySize] = {};

  ~ProtectionKeyBytes() { Clear(); }
  void Clear() { crypto::SecureWipe(bytes, sizeof bytes); }
};

// Fills `stream` with the first stream.size() keystream bytes of `key`;
// false (last error NTE_NO_MEMORY) when the cipher state cannot be made.
bool ProtectionKeystream(ProtectionKey key, std::span<std::uint8_t> stream);

// data ^= the keystream bytes that start at `position` of `stream`, which
// must hold position + data.size() bytes.
void ApplyKeystream(std::span<std::uint8_t> data, std::span<const std::uint8_t> stream, std::size_t position);

}  // namespace tv::csp
