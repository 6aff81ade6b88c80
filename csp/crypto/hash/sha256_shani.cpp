// SHA-256 compression with the SHA extensions. This file alone is compiled
// with -msha -msse4.1; it is reached only when cpu::UseShaNi() is true.
#include <immintrin.h>

#include "hash/sha_compress.h"

namespace tv::crypto::detail {
namespace {

// Message groups hold W[t..t+3] with W[t] in the lowest lane.
inline __m128i LoadGroup(const std::uint8_t* bytes) {
  const __m128i swapWords = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
  return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)), swapWords);
}

// W[t..t+3] from the four groups before it: w[i % 4] holds group i - 4 and
// is replaced; the others hold groups i - 3, i - 2 and i - 1.
inline void NextGroup(__m128i (&w)[4], int i) {
  __m128i next = _mm_sha256msg1_epu32(w[i % 4], w[(i + 1) % 4]);
  next = _mm_add_epi32(next, _mm_alignr_epi8(w[(i + 3) % 4], w[(i + 2) % 4], 4));
  w[i % 4] = _mm_sha256msg2_epu32(next, w[(i + 3) % 4]);
}

}  // namespace

void Sha256CompressShaNi(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count) {
  // The instructions keep the state as ABEF and CDGH, A and C in the top lanes.
  const __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
  const __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
  const __m128i cdab = _mm_shuffle_epi32(dcba, 0xb1);
  const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1b);
  __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xf0);

  for (; count != 0; --count, blocks += 64) {
    const __m128i abefStart = abef;
    const __m128i cdghStart = cdgh;
    __m128i w[4];
    for (int i = 0; i < 4; ++i) w[i] = LoadGroup(blocks + 16 * i);
#pragma GCC unroll 16
    for (int i = 0; i < 16; ++i) {
      if (i >= 4) NextGroup(w, i);
      const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kSha256RoundConstants + 4 * i));
      const __m128i wk = _mm_add_epi32(w[i % 4], k);
      cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
      abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(wk, 0x0e));
    }
    abef = _mm_add_epi32(abef, abefStart);
    cdgh = _mm_add_epi32(cdgh, cdghStart);
  }

  const __m128i feba = _mm_shuffle_epi32(abef, 0x1b);
  const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xb1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xf0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

}  // namespace tv::crypto::detail
