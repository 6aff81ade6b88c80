// SHA-256 (FIPS 180): portable compression, the choice of compression per
// update, and the record.
#include "cpu/byte_order.h"
#include "cpu/cpu_features.h"
#include "hash/block_hash.h"
#include "hash/sha2_rounds.h"
#include "hash/sha_compress.h"

namespace tv::crypto {
namespace {

using Sha256Context = detail::BlockHashContext<std::uint32_t, 8, 64>;

constexpr std::uint32_t kInitialState[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                            0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

void Compress(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count) {
  if (cpu::UseShaNi()) {
    detail::Sha256CompressShaNi(state, blocks, count);
  } else {
    detail::Sha256CompressPortable(state, blocks, count);
  }
}

void Sha256Init(Sha256Context& context) {
  context = {};
  for (int i = 0; i < 8; ++i) context.state[i] = kInitialState[i];
}

void Sha256Update(Sha256Context& context, std::span<const std::uint8_t> data) {
  detail::FeedBlocks(context, data, Compress);
}

// Leaves the context freshly initialised, ready for the next message.
void Sha256Final(Sha256Context& context, std::uint8_t* digest) {
  detail::PadAndCompress<detail::LengthOrder::BigEndian, 8>(context, Compress);
  for (int i = 0; i < 8; ++i) StoreBigEndian32(digest + 4 * i, context.state[i]);
  Sha256Init(context);
}

}  // namespace

namespace detail {

constinit const std::uint32_t kSha256RoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

void Sha256CompressPortable(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count) {
  Sha2Compress(state, blocks, count, kSha256RoundConstants);
}

}  // namespace detail

constinit const HashAlgorithm kSha256 =
    detail::MakeHashAlgorithm<Sha256Context, Sha256Init, Sha256Update, Sha256Final>("sha256", 32, 64);

}  // namespace tv::crypto
