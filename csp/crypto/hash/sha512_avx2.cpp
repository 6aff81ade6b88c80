// SHA-384/512 compression with AVX2 and BMI2: the message schedule two words
// at a time in vector registers, interleaved with the rounds, which run on
// the general registers with BMI2's rotations (they leave their source
// intact and the flags alone). Only the function marked TV_AVX2 uses those
// instructions; call it only when cpu::UseAvx2() is true.
#include <immintrin.h>

#include <bit>

#include "hash/sha_compress.h"

#define TV_AVX2 __attribute__((target("avx2,bmi2")))

namespace tv::crypto::detail {
namespace {

// Eight registers of two words hold the last 16 schedule words; x[i % 8]
// holds words 2i and 2i + 1 of the current window.
using Schedule = __m128i[8];

TV_AVX2 inline __m128i Rotr(__m128i x, int bits) {
  return _mm_or_si128(_mm_srli_epi64(x, bits), _mm_slli_epi64(x, 64 - bits));
}

// W[t+16], W[t+17] from x[i] = W[t], W[t+1] and the registers after it
// (indices mod 8): sigma1(W[t+14..15]) + W[t+9..10] + sigma0(W[t+1..2]) + W[t..1].
TV_AVX2 inline __m128i NextPair(const Schedule& x, int i) {
  const __m128i w1 = _mm_alignr_epi8(x[(i + 1) % 8], x[i % 8], 8);
  const __m128i w9 = _mm_alignr_epi8(x[(i + 5) % 8], x[(i + 4) % 8], 8);
  const __m128i w14 = x[(i + 7) % 8];
  const __m128i sigma0 = _mm_xor_si128(_mm_xor_si128(Rotr(w1, 1), Rotr(w1, 8)), _mm_srli_epi64(w1, 7));
  const __m128i sigma1 =
      _mm_xor_si128(_mm_xor_si128(Rotr(w14, 19), Rotr(w14, 61)), _mm_srli_epi64(w14, 6));
  return _mm_add_epi64(_mm_add_epi64(x[i % 8], sigma0), _mm_add_epi64(w9, sigma1));
}

// The working variables, and b ^ c of the coming round: Maj(a, b, c) =
// ((a ^ b) & (b ^ c)) ^ b, and this round's a ^ b is the next one's b ^ c.
struct Working {
  std::uint64_t a, b, c, d, e, f, g, h;
  std::uint64_t bXorC;
};

// One round with wk = W[t] + K[t].
inline void Round(Working& s, std::uint64_t wk) {
  const std::uint64_t sum1 = std::rotr(s.e, 14) ^ std::rotr(s.e, 18) ^ std::rotr(s.e, 41);
  const std::uint64_t t1 = s.h + sum1 + (s.g ^ (s.e & (s.f ^ s.g))) + wk;
  const std::uint64_t sum0 = std::rotr(s.a, 28) ^ std::rotr(s.a, 34) ^ std::rotr(s.a, 39);
  const std::uint64_t aXorB = s.a ^ s.b;
  const std::uint64_t t2 = sum0 + ((aXorB & s.bXorC) ^ s.b);
  s = {t1 + t2, s.a, s.b, s.c, s.d + t1, s.e, s.f, s.g, aXorB};
}

}  // namespace

TV_AVX2 void Sha512CompressAvx2(std::uint64_t* state, const std::uint8_t* blocks,
                                std::size_t count) {
  const __m128i swapBytes = _mm_set_epi64x(0x08090a0b0c0d0e0fLL, 0x0001020304050607LL);
  const auto* k = reinterpret_cast<const __m128i*>(kSha512RoundConstants);
  for (; count != 0; --count, blocks += 128) {
    Schedule x;
    alignas(16) std::uint64_t wk[16];  // W + K of the next 16 rounds, by t % 16
    for (int i = 0; i < 8; ++i) {
      x[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * i)),
                              swapBytes);
      _mm_store_si128(reinterpret_cast<__m128i*>(wk + 2 * i), _mm_add_epi64(x[i], _mm_loadu_si128(k + i)));
    }
    Working s{state[0], state[1], state[2], state[3], state[4],
              state[5], state[6], state[7], state[1] ^ state[2]};
#pragma GCC unroll 40
    for (int i = 0; i < 40; ++i) {  // rounds 2i and 2i + 1
      Round(s, wk[(2 * i) % 16]);
      Round(s, wk[(2 * i + 1) % 16]);
      if (i < 32) {
        x[i % 8] = NextPair(x, i);
        _mm_store_si128(reinterpret_cast<__m128i*>(wk + (2 * i) % 16),
                        _mm_add_epi64(x[i % 8], _mm_loadu_si128(k + i + 8)));
      }
    }
    state[0] += s.a;
    state[1] += s.b;
    state[2] += s.c;
    state[3] += s.d;
    state[4] += s.e;
    state[5] += s.f;
    state[6] += s.g;
    state[7] += s.h;
  }
}

}  // namespace tv::crypto::detail
