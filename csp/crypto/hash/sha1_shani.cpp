// SHA-1 compression with the SHA extensions. This file alone is compiled
// with -msha -msse4.1; it is reached only when cpu::UseShaNi() is true.
#include <immintrin.h>

#include "hash/sha_compress.h"

namespace tv::crypto::detail {
namespace {

// Four-word message groups hold W[t..t+3] with W[t] in the highest lane.
inline __m128i LoadGroup(const std::uint8_t* bytes) {
  const __m128i reverseBytes = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
  return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)), reverseBytes);
}

// W[t..t+3] from the four groups before it: w[i % 4] holds group i - 4 and
// is replaced; the others hold groups i - 3, i - 2 and i - 1.
inline void NextGroup(__m128i (&w)[4], int i) {
  const __m128i mixed = _mm_xor_si128(_mm_sha1msg1_epu32(w[i % 4], w[(i + 1) % 4]), w[(i + 2) % 4]);
  w[i % 4] = _mm_sha1msg2_epu32(mixed, w[(i + 3) % 4]);
}

// Twenty rounds (five groups) with boolean function F, starting at group
// `first`. `previous` is ABCD as it was before the last four rounds, from
// which the next E is derived; the very first group takes E from the
// chaining value instead.
template <int F>
inline void TwentyRounds(__m128i& abcd, __m128i& previous, __m128i (&w)[4], int first,
                         __m128i chainingE) {
#pragma GCC unroll 5
  for (int i = first; i < first + 5; ++i) {
    if (i >= 4) NextGroup(w, i);
    const __m128i e =
        i == 0 ? _mm_add_epi32(chainingE, w[0]) : _mm_sha1nexte_epu32(previous, w[i % 4]);
    previous = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, F);
  }
}

}  // namespace

void Sha1CompressShaNi(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count) {
  __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1b);
  __m128i e0 = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
  for (; count != 0; --count, blocks += 64) {
    const __m128i abcdStart = abcd;
    const __m128i eStart = e0;
    __m128i w[4];
    for (int i = 0; i < 4; ++i) w[i] = LoadGroup(blocks + 16 * i);

    __m128i previous = abcd;
    TwentyRounds<0>(abcd, previous, w, 0, eStart);
    TwentyRounds<1>(abcd, previous, w, 5, eStart);
    TwentyRounds<2>(abcd, previous, w, 10, eStart);
    TwentyRounds<3>(abcd, previous, w, 15, eStart);

    e0 = _mm_sha1nexte_epu32(previous, eStart);
    abcd = _mm_add_epi32(abcd, abcdStart);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1b));
  state[4] = static_cast<std::uint32_t>(_mm_extract_epi32(e0, 3));
}

}  // namespace tv::crypto::detail
