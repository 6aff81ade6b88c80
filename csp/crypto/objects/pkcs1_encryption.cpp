// Key-wrapping blocks: a session key padded for encryption with an RSA
// public key, and the key recovered from a decrypted block.
#include <algorithm>

#include "csp/crypto/objects/pkcs1.h"

namespace tv::csp {
namespace {

// 00 02 before the padding and 00 after it.
constexpr std::size_t kFramingBytes = 3;

bool FillNonZero(std::span<std::uint8_t> padding, crypto::RandomSource& random) {
  if (!random.Fill(padding)) return false;
  for (std::uint8_t& byte : padding)
    while (byte == 0)
      if (!random.Fill({&byte, 1})) return false;
  return true;
}

}  // namespace

bool EncodeKeyWrapBlock(std::span<const std::uint8_t> key, std::span<std::uint8_t> block,
                        crypto::RandomSource& random) {
  if (key.empty() || block.size() < kFramingBytes + kMinBlockPadding + key.size()) return false;
  const std::size_t padding = block.size() - kFramingBytes - key.size();
  block[0] = 0x00;
  block[1] = 0x02;
  if (!FillNonZero(block.subspan(2, padding), random)) return false;
  block[2 + padding] = 0x00;
  std::copy(key.begin(), key.end(), block.end() - key.size());
  return true;
}

bool DecodeKeyWrapBlock(std::span<const std::uint8_t> block, std::span<const std::uint8_t>& key) {
  if (block.size() < kFramingBytes + kMinBlockPadding + 1 || block[0] != 0x00 || block[1] != 0x02) return false;
  const auto separator = std::find(block.begin() + 2, block.end(), std::uint8_t{0});
  const std::size_t padding = static_cast<std::size_t>(separator - block.begin()) - 2;
  if (separator == block.end() || padding < kMinBlockPadding || separator + 1 == block.end()) return false;
  key = block.subspan(kFramingBytes + padding);
  return true;
}

}  // namespace tv::csp
