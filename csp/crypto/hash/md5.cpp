// MD5 (RFC 1321).
#include "hash/md5.h"

#include <bit>

#include "cpu/byte_order.h"
#include "cpu/wipe.h"

namespace tv::crypto {
namespace {

constexpr std::uint32_t kInitialState[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};

// floor(2^32 * |sin(i + 1)|)
constexpr std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// Message word used by step i (0..15) of a round.
constexpr int MessageIndex(int round, int i) {
  constexpr int kStart[4] = {0, 1, 5, 0};
  constexpr int kStride[4] = {1, 5, 3, 7};
  return (kStart[round] + kStride[round] * i) % 16;
}

// The round functions, written to keep b (the value just computed) as late
// in each as possible. In round 1 the two terms share no bits, so they may
// be added, which lets the one without b join the sum early.
template <int Round>
constexpr std::uint32_t Mix(std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  if constexpr (Round == 0) return d ^ (b & (c ^ d));
  else if constexpr (Round == 1) return (b & d) + (c & ~d);
  else if constexpr (Round == 2) return b ^ c ^ d;
  else return c ^ (b | ~d);
}

template <int Round>
inline void SixteenSteps(std::uint32_t (&v)[4], const std::uint32_t (&x)[16]) {
  auto& [a, b, c, d] = v;
#pragma GCC unroll 16
  for (int i = 0; i < 16; ++i) {
    const std::uint32_t sum = a + Mix<Round>(b, c, d) + x[MessageIndex(Round, i)] + kSine[Round * 16 + i];
    const std::uint32_t next = b + std::rotl(sum, kShift[Round][i % 4]);
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
    SixteenSteps<3>(v, x);
    for (int i = 0; i < 4; ++i) state[i] += v[i];
  }
}

}  // namespace

void Md5Init(Md5Context& context) {
  context = {};
  for (int i = 0; i < 4; ++i) context.state[i] = kInitialState[i];
}

void Md5Update(Md5Context& context, std::span<const std::uint8_t> data) {
  detail::FeedBlocks(context, data, Compress);
}

void Md5Final(Md5Context& context, std::uint8_t* digest) {
  detail::PadAndCompress<detail::LengthOrder::LittleEndian, 8>(context, Compress);
  for (int i = 0; i < 4; ++i) StoreLittleEndian32(digest + 4 * i, context.state[i]);
  SecureWipe(&context, sizeof context);
}

constinit const HashAlgorithm kMd5 =
    detail::MakeHashAlgorithm<Md5Context, Md5Init, Md5Update, Md5Final>("md5", kMd5DigestSize, 64);

}  // namespace tv::crypto
