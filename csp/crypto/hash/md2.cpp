// MD2 (RFC 1319). The 16 bytes that carry over between blocks and the
// running checksum form one 32-byte chaining state, so the shared block
// feeding serves MD2 as well.
#include <cstring>

#include "cpu/wipe.h"
#include "hash/block_hash.h"

namespace tv::crypto {
namespace {

constexpr std::size_t kBlockSize = 16;
constexpr std::size_t kChecksumOffset = 16;

// state[0..15]: the carried-over bytes; state[16..31]: the checksum.
using Md2Context = detail::BlockHashContext<std::uint8_t, 32, kBlockSize>;

// The permutation of 0..255 built from the digits of pi.
constexpr std::uint8_t kPiSubstitution[256] = {
    41,  46,  67,  201, 162, 216, 124, 1,   61,  54,  84,  161, 236, 240, 6,   19,
    98,  167, 5,   243, 192, 199, 115, 140, 152, 147, 43,  217, 188, 76,  130, 202,
    30,  155, 87,  60,  253, 212, 224, 22,  103, 66,  111, 24,  138, 23,  229, 18,
    190, 78,  196, 214, 218, 158, 222, 73,  160, 251, 245, 142, 187, 47,  238, 122,
    169, 104, 121, 145, 21,  178, 7,   63,  148, 194, 16,  137, 11,  34,  95,  33,
    128, 127, 93,  154, 90,  144, 50,  39,  53,  62,  204, 231, 191, 247, 151, 3,
    255, 25,  48,  179, 72,  165, 181, 209, 215, 94,  146, 42,  172, 86,  170, 198,
    79,  184, 56,  210, 150, 164, 125, 182, 118, 252, 107, 226, 156, 116, 4,   241,
    69,  157, 112, 89,  100, 113, 135, 32,  134, 91,  207, 101, 230, 45,  168, 2,
    27,  96,  37,  173, 174, 176, 185, 246, 28,  70,  97,  105, 52,  64,  126, 15,
    85,  71,  163, 35,  221, 81,  175, 58,  195, 92,  249, 206, 186, 197, 234, 38,
    44,  83,  13,  110, 133, 40,  132, 9,   211, 223, 205, 244, 65,  129, 77,  82,
    106, 220, 55,  200, 108, 193, 171, 250, 36,  225, 123, 8,   12,  189, 177, 74,
    120, 136, 149, 139, 227, 99,  232, 109, 233, 203, 213, 254, 59,  0,   29,  57,
    242, 239, 183, 14,  102, 88,  208, 228, 166, 119, 114, 248, 235, 117, 75,  10,
    49,  68,  80,  180, 143, 237, 31,  26,  219, 153, 141, 51,  159, 17,  131, 20};

void Compress(std::uint8_t* state, const std::uint8_t* blocks, std::size_t count) {
  std::uint8_t* checksum = state + kChecksumOffset;
  for (; count != 0; --count, blocks += kBlockSize) {
    std::uint8_t last = checksum[kBlockSize - 1];
    for (std::size_t j = 0; j < kBlockSize; ++j) {
      checksum[j] ^= kPiSubstitution[blocks[j] ^ last];
      last = checksum[j];
    }
    std::uint8_t x[48];
    for (std::size_t j = 0; j < kBlockSize; ++j) {
      x[j] = state[j];
      x[16 + j] = blocks[j];
      x[32 + j] = state[j] ^ blocks[j];
    }
    unsigned t = 0;
    for (unsigned round = 0; round < 18; ++round) {
      for (std::uint8_t& byte : x) t = byte ^= kPiSubstitution[t];
      t = (t + round) & 0xff;
    }
    std::memcpy(state, x, kBlockSize);
  }
}

void Md2Init(Md2Context& context) { context = {}; }

void Md2Update(Md2Context& context, std::span<const std::uint8_t> data) {
  detail::FeedBlocks(context, data, Compress);
}

// Pads with n bytes of value n (1 to 16), then hashes the checksum as a
// last block.
void Md2Final(Md2Context& context, std::uint8_t* digest) {
  const std::size_t padLength = kBlockSize - context.byteCount % kBlockSize;
  std::uint8_t pad[kBlockSize];
  std::memset(pad, static_cast<int>(padLength), padLength);
  detail::FeedBlocks(context, std::span<const std::uint8_t>(pad, padLength), Compress);
  std::uint8_t checksum[kBlockSize];
  std::memcpy(checksum, context.state + kChecksumOffset, kBlockSize);
  Compress(context.state, checksum, 1);
  std::memcpy(digest, context.state, 16);
  SecureWipe(checksum, sizeof checksum);
  SecureWipe(&context, sizeof context);
}

}  // namespace

constinit const HashAlgorithm kMd2 =
    detail::MakeHashAlgorithm<Md2Context, Md2Init, Md2Update, Md2Final>("md2", 16, kBlockSize);

}  // namespace tv::crypto
