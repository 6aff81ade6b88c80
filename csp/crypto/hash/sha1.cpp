// SHA-1 (FIPS 180): portable compression, the choice of compression per
// update, and the record.
#include "hash/sha1.h"

#include <bit>

#include "cpu/byte_order.h"
#include "cpu/cpu_features.h"
#include "cpu/wipe.h"
#include "hash/sha_compress.h"

namespace tv::crypto {
namespace {

constexpr std::uint32_t kInitialState[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476,
                                            0xc3d2e1f0};

void Compress(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count) {
  if (cpu::UseShaNi()) {
    detail::Sha1CompressShaNi(state, blocks, count);
  } else {
    detail::Sha1CompressPortable(state, blocks, count);
  }
}

}  // namespace

namespace detail {

void Sha1CompressPortable(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count) {
  for (; count != 0; --count, blocks += 64) {
    std::uint32_t w[16];
    for (int t = 0; t < 16; ++t) w[t] = LoadBigEndian32(blocks + 4 * t);
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    // Unrolled completely, so the choice of round function, constant and
    // message schedule step is made at compile time.
#pragma GCC unroll 80
    for (int t = 0; t < 80; ++t) {
      std::uint32_t& wt = w[t % 16];
      if (t >= 16) wt = std::rotl(w[(t + 13) % 16] ^ w[(t + 8) % 16] ^ w[(t + 2) % 16] ^ wt, 1);
      std::uint32_t f;
      std::uint32_t k;
      if (t < 20) {
        f = d ^ (b & (c ^ d));
        k = 0x5a827999;
      } else if (t < 40) {
        f = b ^ c ^ d;
        k = 0x6ed9eba1;
      } else if (t < 60) {
        f = (b & c) | (d & (b | c));
        k = 0x8f1bbcdc;
      } else {
        f = b ^ c ^ d;
        k = 0xca62c1d6;
      }
      const std::uint32_t next = std::rotl(a, 5) + f + e + k + wt;
      e = d;
      d = c;
      c = std::rotl(b, 30);
      b = a;
      a = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
  }
}

}  // namespace detail

void Sha1Init(Sha1Context& context) {
  context = {};
  for (int i = 0; i < 5; ++i) context.state[i] = kInitialState[i];
}

void Sha1Update(Sha1Context& context, std::span<const std::uint8_t> data) {
  detail::FeedBlocks(context, data, Compress);
}

void Sha1Final(Sha1Context& context, std::uint8_t* digest) {
  detail::PadAndCompress<detail::LengthOrder::BigEndian, 8>(context, Compress);
  for (int i = 0; i < 5; ++i) StoreBigEndian32(digest + 4 * i, context.state[i]);
  SecureWipe(&context, sizeof context);
}

constinit const HashAlgorithm kSha1 =
    detail::MakeHashAlgorithm<Sha1Context, Sha1Init, Sha1Update, Sha1Final>("sha1", kSha1DigestSize, 64);

}  // namespace tv::crypto
