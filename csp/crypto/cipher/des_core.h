// The DES block function and key schedule, shared by DES and triple DES.
//
// A block is handled as a 64-bit integer already passed through the initial
// permutation (left half high): DesLoad applies that permutation and
// DesStore the final one. Both are bit permutations, so they are linear and
// the chaining modes can keep them off the chain between blocks (and triple
// DES does them once, not three times).
#pragma once
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "cpu/byte_order.h"

namespace tv::crypto::detail {

inline constexpr std::size_t kDesBlockSize = 8;
inline constexpr std::size_t kDesKeySize = 8;

// The 16 round keys of one DES key. Each is held as four words whose top
// and bottom bytes carry the six key bits of one S-box each, lined up with
// the lookups of DesRoundFunction.
struct DesKeySchedule {
  std::uint32_t roundKeys[16][4];
};

enum class DesDirection { Encrypt, Decrypt };

// Expands 8 key bytes (parity bits ignored).
void DesExpandKey(DesKeySchedule& schedule, const std::uint8_t* key);

// The S-boxes combined with the P permutation: kDesSpTables[box][x] is P
// applied to S-box `box`'s output for the six input bits in the low bits of
// x, in their place in the round function's result. The two high bits of x
// are ignored, which spares masking them off.
extern const std::array<std::array<std::uint32_t, 256>, 8> kDesSpTables;

// Exchanges the bits of `a` selected by mask << shift with those of `b`
// selected by mask.
inline void DesSwapBits(std::uint32_t& a, std::uint32_t& b, int shift, std::uint32_t mask) {
  const std::uint32_t t = ((a >> shift) ^ b) & mask;
  b ^= t;
  a ^= t << shift;
}

// 8 bytes through the initial permutation.
inline std::uint64_t DesLoad(const std::uint8_t* bytes) {
  std::uint32_t l = LoadBigEndian32(bytes);
  std::uint32_t r = LoadBigEndian32(bytes + 4);
  DesSwapBits(l, r, 4, 0x0f0f0f0f);
  DesSwapBits(l, r, 16, 0x0000ffff);
  DesSwapBits(r, l, 2, 0x33333333);
  DesSwapBits(r, l, 8, 0x00ff00ff);
  DesSwapBits(l, r, 1, 0x55555555);
  return std::uint64_t{l} << 32 | r;
}

// A permuted block through the final permutation, into 8 bytes.
inline void DesStore(std::uint64_t block, std::uint8_t* bytes) {
  std::uint32_t l = static_cast<std::uint32_t>(block >> 32);
  std::uint32_t r = static_cast<std::uint32_t>(block);
  DesSwapBits(l, r, 1, 0x55555555);
  DesSwapBits(r, l, 8, 0x00ff00ff);
  DesSwapBits(r, l, 2, 0x33333333);
  DesSwapBits(l, r, 16, 0x0000ffff);
  DesSwapBits(l, r, 4, 0x0f0f0f0f);
  StoreBigEndian32(bytes, l);
  StoreBigEndian32(bytes + 4, r);
}

// f(R, K). The expansion's six-bit groups for S-boxes 1 and 7 are the top
// and bottom bytes of rotr(r, 3), for 5 and 3 those of rotr(r, 19), for 2
// and 8 those of rotl(r, 1) and for 6 and 4 those of rotl(r, 17): reading
// only top and bottom bytes keeps each lookup one step from the rotation.
// The lookups combine as a tree (see the reassociation width in
// CMakeLists.txt) to keep the round's latency short.
inline std::uint32_t DesRoundFunction(std::uint32_t r, const std::uint32_t (&key)[4]) {
  const std::uint32_t w0 = std::rotr(r, 3) ^ key[0];
  const std::uint32_t w1 = std::rotr(r, 19) ^ key[1];
  const std::uint32_t w2 = std::rotl(r, 1) ^ key[2];
  const std::uint32_t w3 = std::rotl(r, 17) ^ key[3];
  const auto& sp = kDesSpTables;
  return sp[0][w0 >> 24] ^ sp[6][w0 & 0xff] ^ sp[4][w1 >> 24] ^ sp[2][w1 & 0xff] ^ sp[1][w2 >> 24] ^
         sp[7][w2 & 0xff] ^ sp[5][w3 >> 24] ^ sp[3][w3 & 0xff];
}

// The sixteen rounds on N permuted blocks at once, each ending with its
// halves exchanged as the standard's last round leaves them.
template <DesDirection D, std::size_t N>
inline void DesRounds(const DesKeySchedule& schedule, std::uint64_t (&blocks)[N]) {
  std::uint32_t l[N], r[N];
  for (std::size_t j = 0; j < N; ++j) {
    l[j] = static_cast<std::uint32_t>(blocks[j] >> 32);
    r[j] = static_cast<std::uint32_t>(blocks[j]);
  }
  for (int i = 0; i < 16; i += 2) {
    const auto& first = schedule.roundKeys[D == DesDirection::Decrypt ? 15 - i : i];
    const auto& second = schedule.roundKeys[D == DesDirection::Decrypt ? 14 - i : i + 1];
    for (std::size_t j = 0; j < N; ++j) l[j] ^= DesRoundFunction(r[j], first);
    for (std::size_t j = 0; j < N; ++j) r[j] ^= DesRoundFunction(l[j], second);
  }
  for (std::size_t j = 0; j < N; ++j) blocks[j] = std::uint64_t{r[j]} << 32 | l[j];
}

// What DES and triple DES share as the modes see them (see ChainableCipher):
// 8-byte blocks in initial-permutation order, two at a time where the mode
// allows.
struct DesBlocks {
  using Block = std::uint64_t;
  static constexpr std::size_t kBlockSize = kDesBlockSize;
  static constexpr std::size_t kLanes = 2;
  Block Load(const std::uint8_t* bytes) const { return DesLoad(bytes); }
  void Store(Block block, std::uint8_t* bytes) const { DesStore(block, bytes); }
};

}  // namespace tv::crypto::detail
