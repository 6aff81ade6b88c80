// Encryption blocks of PKCS#1 v1.5 (type 2): a message padded for
// encryption with an RSA public key, and the message recovered from a
// decrypted block.
#include <algorithm>

#include "csp/crypto/objects/byte_masks.h"
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

std::size_t MaxPkcs1Message(std::size_t blockSize) {
  const std::size_t overhead = kFramingBytes + kMinBlockPadding;
  return blockSize > overhead ? blockSize - overhead : 0;
}

bool EncodeEncryptionBlock(std::span<const std::uint8_t> message, std::span<std::uint8_t> block,
                           crypto::RandomSource& random) {
  if (block.size() < kFramingBytes + kMinBlockPadding + message.size()) return false;
  const std::size_t padding = block.size() - kFramingBytes - message.size();
  block[0] = 0x00;
  block[1] = 0x02;
  if (!FillNonZero(block.subspan(2, padding), random)) return false;
  block[2 + padding] = 0x00;
  std::copy(message.begin(), message.end(), block.end() - message.size());
  return true;
}

// Reads every byte of the block whatever it holds, and decides once at the
// end, so that neither the time taken nor the answer tells which part of a
// malformed block was wrong.
bool DecodeEncryptionBlock(std::span<const std::uint8_t> block, std::span<const std::uint8_t>& message) {
  using namespace masks;
  if (block.size() < kFramingBytes + kMinBlockPadding) return false;
  Mask good = IsZero(block[0]) & IsEqual(block[1], 0x02);
  std::size_t separator = 0;
  Mask searching = ~Mask{0};
  for (std::size_t i = 2; i < block.size(); ++i) {
    const Mask isZero = IsZero(block[i]);
    separator = Select(searching & isZero, i, separator);
    searching &= ~isZero;
  }
  good &= ~searching;
  good &= ~IsLess(separator, 2 + kMinBlockPadding);
  if (!good) return false;
  message = block.subspan(separator + 1);
  return true;
}

}  // namespace tv::csp
