// MD4 (RFC 1320).
#include <bit>

#include "cpu/byte_order.h"
#include "cpu/wipe.h"
#include "hash/block_hash.h"

namespace tv::crypto {
namespace {

using Md4Context = detail::BlockHashContext<std::uint32_t, 4, 64>;

constexpr std::uint32_t kInitialState[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
constexpr std::uint32_t kRoundConstant[3] = {0, 0x5a827999, 0x6ed9eba1};
constexpr int kShift[3][4] = {{3, 7, 11, 19}, {3, 5, 9, 13}, {3, 9, 11, 15}};
constexpr int kMessageOrder[3][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
    {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15},
    {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15}};

// The round functions, written to keep b (the value just computed) as late
// in each as possible. The majority of round 1 is split into two terms that
// share no bits, so they may be added, which lets the one without b join the
// sum early.
template <int Round>
constexpr std::uint32_t Mix(std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  if constexpr (Round == 0) return d ^ (b & (c ^ d));
  else if constexpr (Round == 1) return (c & d) + (b & (c ^ d));
  else return b ^ c ^ d;
}

template <int Round>
inline void SixteenSteps(std::uint32_t (&v)[4], const std::uint32_t (&x)[16]) {
  auto& [a, b, c, d] = v;
#pragma GCC unroll 16
  for (int i = 0; i < 16; ++i) {
    const std::uint32_t sum = a + Mix<Round>(b, c, d) + x[kMessageOrder[Round][i]] + kRoundConstant[Round];
    const std::uint32_t next = std::rotl(sum, kShift[Round][i % 4]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
}

void Compress(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count) {
  for (; count != 0; --count, blocks += 64) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = LoadLittleEndian32(blocks + 4 * i);
    std::uint32_t v[4] = {state[0], state[1], state[2], state[3]};
    SixteenSteps<0>(v, x);
    SixteenSteps<1>(v, x);
    SixteenSteps<2>(v, x);
    for (int i = 0; i < 4; ++i) state[i] += v[i];
  }
}

void Md4Init(Md4Context& context) {
  context = {};
  for (int i = 0; i < 4; ++i) context.state[i] = kInitialState[i];
}

void Md4Update(Md4Context& context, std::span<const std::uint8_t> data) {
  detail::FeedBlocks(context, data, Compress);
}

void Md4Final(Md4Context& context, std::uint8_t* digest) {
  detail::PadAndCompress<detail::LengthOrder::LittleEndian, 8>(context, Compress);
  for (int i = 0; i < 4; ++i) StoreLittleEndian32(digest + 4 * i, context.state[i]);
  SecureWipe(&context, sizeof context);
}

}  // namespace

constinit const HashAlgorithm kMd4 =
    detail::MakeHashAlgorithm<Md4Context, Md4Init, Md4Update, Md4Final>("md4", 16, 64);

}  // namespace tv::crypto
