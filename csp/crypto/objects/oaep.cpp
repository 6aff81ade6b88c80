// OAEP encryption blocks (RFC 8017, section 7.1) with SHA-1, MGF1 over
// SHA-1 and an empty label, as CRYPT_OAEP asks for:
//
//   00 || seed ^ MGF1(maskedDB) || DB ^ MGF1(seed),  DB = SHA-1("") || 00..00 || 01 || message
#include <algorithm>
#include <cstring>

#include "csp/crypto/cpu/wipe.h"
#include "csp/crypto/hash/sha1.h"
#include "csp/crypto/objects/byte_masks.h"
#include "csp/crypto/objects/pkcs1.h"

namespace tv::csp {
namespace {

constexpr std::size_t kHashSize = crypto::kSha1DigestSize;

// SHA-1 of the empty label.
constexpr std::uint8_t kEmptyLabelHash[kHashSize] = {0xda, 0x39, 0xa3, 0xee, 0x5e, 0x6b, 0x4b, 0x0d, 0x32, 0x55,
                                                     0xbf, 0xef, 0x95, 0x60, 0x18, 0x90, 0xaf, 0xd8, 0x07, 0x09};

// XORs MGF1(seed) over `out`.
void ApplyMask(std::span<const std::uint8_t> seed, std::span<std::uint8_t> out) {
  std::uint8_t digest[kHashSize];
  for (std::uint32_t counter = 0; !out.empty(); ++counter) {
    const std::uint8_t counterBytes[4] = {static_cast<std::uint8_t>(counter >> 24),
                                          static_cast<std::uint8_t>(counter >> 16),
                                          static_cast<std::uint8_t>(counter >> 8), static_cast<std::uint8_t>(counter)};
    crypto::Sha1Context context;
    crypto::Sha1Init(context);
    crypto::Sha1Update(context, seed);
    crypto::Sha1Update(context, counterBytes);
    crypto::Sha1Final(context, digest);
    const std::size_t count = std::min(out.size(), kHashSize);
    for (std::size_t i = 0; i < count; ++i) out[i] ^= digest[i];
    out = out.subspan(count);
  }
  crypto::SecureWipe(digest, sizeof digest);
}

// The two masked parts of a block of at least 2 * kHashSize + 2 bytes.
struct OaepParts {
  std::span<std::uint8_t> seed;
  std::span<std::uint8_t> db;
};
OaepParts Split(std::span<std::uint8_t> block) { return {block.subspan(1, kHashSize), block.subspan(1 + kHashSize)}; }

}  // namespace

std::size_t MaxOaepMessage(std::size_t blockSize) {
  const std::size_t overhead = 2 * kHashSize + 2;
  return blockSize > overhead ? blockSize - overhead : 0;
}

bool EncodeOaepBlock(std::span<const std::uint8_t> message, std::span<std::uint8_t> block,
                     crypto::RandomSource& random) {
  if (block.size() < 2 * kHashSize + 2 || message.size() > MaxOaepMessage(block.size())) return false;
  const OaepParts parts = Split(block);
  block[0] = 0x00;
  std::copy(std::begin(kEmptyLabelHash), std::end(kEmptyLabelHash), parts.db.begin());
  std::fill(parts.db.begin() + kHashSize, parts.db.end() - message.size() - 1, std::uint8_t{0});
  parts.db[parts.db.size() - message.size() - 1] = 0x01;
  std::copy(message.begin(), message.end(), parts.db.end() - message.size());
  if (!random.Fill(parts.seed)) return false;
  ApplyMask(parts.seed, parts.db);
  ApplyMask(parts.db, parts.seed);
  return true;
}

// Unmasks the block in place and checks all of it before deciding, so that
// neither the time taken nor the answer tells which check failed.
bool DecodeOaepBlock(std::span<std::uint8_t> block, std::span<const std::uint8_t>& message) {
  using namespace masks;
  if (block.size() < 2 * kHashSize + 2) return false;
  const OaepParts parts = Split(block);
  ApplyMask(parts.db, parts.seed);
  ApplyMask(parts.seed, parts.db);
  Mask good = IsZero(block[0]);
  std::size_t labelDifference = 0;
  for (std::size_t i = 0; i < kHashSize; ++i) labelDifference |= parts.db[i] ^ kEmptyLabelHash[i];
  good &= IsZero(labelDifference);
  // After the label hash: zero bytes, then 01, then the message.
  std::size_t separator = 0;
  Mask searching = ~Mask{0};
  for (std::size_t i = kHashSize; i < parts.db.size(); ++i) {
    const Mask isOne = IsEqual(parts.db[i], 0x01);
    const Mask isZero = IsZero(parts.db[i]);
    separator = Select(searching & isOne, i, separator);
    good &= ~(searching & ~isOne & ~isZero);
    searching &= ~isOne;
  }
  good &= ~searching;
  if (!good) return false;
  message = parts.db.subspan(separator + 1);
  return true;
}

}  // namespace tv::csp
