// The portable SHA-2 compression (FIPS 180) for both word sizes: SHA-256
// on 32-bit words, SHA-384 and SHA-512 on 64-bit words. The rounds are the
// same; word size, rotation counts, number of rounds and constants differ.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>

#include "cpu/byte_order.h"

namespace tv::crypto::detail {

template <class Word>
struct Sha2Shape;

template <>
struct Sha2Shape<std::uint32_t> {
  static constexpr int kRounds = 64;
  static constexpr int kSum0[3] = {2, 13, 22};
  static constexpr int kSum1[3] = {6, 11, 25};
  static constexpr int kSigma0[3] = {7, 18, 3};  // two rotations, then a shift
  static constexpr int kSigma1[3] = {17, 19, 10};
  static std::uint32_t Load(const std::uint8_t* bytes) { return LoadBigEndian32(bytes); }
};

template <>
struct Sha2Shape<std::uint64_t> {
  static constexpr int kRounds = 80;
  static constexpr int kSum0[3] = {28, 34, 39};
  static constexpr int kSum1[3] = {14, 18, 41};
  static constexpr int kSigma0[3] = {1, 8, 7};
  static constexpr int kSigma1[3] = {19, 61, 6};
  static std::uint64_t Load(const std::uint8_t* bytes) { return LoadBigEndian64(bytes); }
};

template <class Word>
inline void Sha2Compress(Word* state, const std::uint8_t* blocks, std::size_t count, const Word* constants) {
  using Shape = Sha2Shape<Word>;
  const auto sum = [](Word x, const int(&r)[3]) {
    return std::rotr(x, r[0]) ^ std::rotr(x, r[1]) ^ std::rotr(x, r[2]);
  };
  const auto sigma = [](Word x, const int(&r)[3]) {
    return std::rotr(x, r[0]) ^ std::rotr(x, r[1]) ^ (x >> r[2]);
  };
  for (; count != 0; --count, blocks += 16 * sizeof(Word)) {
    Word w[16];
    for (int t = 0; t < 16; ++t) w[t] = Shape::Load(blocks + sizeof(Word) * t);
    Word a = state[0], b = state[1], c = state[2], d = state[3];
    Word e = state[4], f = state[5], g = state[6], h = state[7];
    // Unrolled completely, so the choice of round function, constant and
    // message schedule step is made at compile time.
#pragma GCC unroll 80
    for (int t = 0; t < Shape::kRounds; ++t) {
      Word& wt = w[t % 16];
      if (t >= 16)
        wt += sigma(w[(t + 1) % 16], Shape::kSigma0) + w[(t + 9) % 16] + sigma(w[(t + 14) % 16], Shape::kSigma1);
      const Word t1 = h + sum(e, Shape::kSum1) + (g ^ (e & (f ^ g))) + constants[t] + wt;
      const Word t2 = sum(a, Shape::kSum0) + ((a & b) | (c & (a | b)));
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
  }
}

}  // namespace tv::crypto::detail
