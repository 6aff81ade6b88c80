// DES (FIPS 46-3): the key schedule and the combined S-box and P tables,
// computed at compile time from the standard's tables. The block function
// itself is inline in des_core.h.
#include "cipher/des_core.h"

#include <array>
#include <bit>

#include "cpu/byte_order.h"

namespace tv::crypto::detail {
namespace {

constexpr std::uint8_t kSBoxes[8][4][16] = {
    {{14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7},
     {0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8},
     {4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0},
     {15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13}},
    {{15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10},
     {3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5},
     {0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15},
     {13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9}},
    {{10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8},
     {13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1},
     {13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7},
     {1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12}},
    {{7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15},
     {13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9},
     {10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4},
     {3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14}},
    {{2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9},
     {14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6},
     {4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14},
     {11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3}},
    {{12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11},
     {10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8},
     {9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6},
     {4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13}},
    {{4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1},
     {13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6},
     {1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2},
     {6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12}},
    {{13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7},
     {1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2},
     {7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8},
     {2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11}}};

// Bit positions count from 1 at the most significant bit, as the standard does.
constexpr std::uint8_t kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                                 2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};
constexpr std::uint8_t kPc1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
                                   10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
                                   63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
                                   14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};
constexpr std::uint8_t kPc2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10,
                                   23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,
                                   41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48,
                                   44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};
constexpr int kRotations[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// Output bit i (from the top of an outBits-wide value) is input bit table[i]
// (from the top of an inBits-wide value).
constexpr std::uint64_t Permute(std::uint64_t in, int inBits, const std::uint8_t* table, int outBits) {
  std::uint64_t out = 0;
  for (int i = 0; i < outBits; ++i) {
    out = (out << 1) | ((in >> (inBits - table[i])) & 1);
  }
  return out;
}

constexpr bool SBoxRowsArePermutations() {
  for (const auto& box : kSBoxes) {
    for (const auto& row : box) {
      unsigned seen = 0;
      for (std::uint8_t v : row) seen |= 1u << v;
      if (seen != 0xffff) return false;
    }
  }
  return true;
}
static_assert(SBoxRowsArePermutations());

// x's low six bits are the input of S-box `box`, its first expansion bit
// highest: the outer bits choose the row, the inner four the column.
constexpr auto MakeSpTables() {
  std::array<std::array<std::uint32_t, 256>, 8> tables{};
  for (int box = 0; box < 8; ++box) {
    for (int x = 0; x < 256; ++x) {
      const int row = ((x >> 4) & 2) | (x & 1);
      const int column = (x >> 1) & 0xf;
      const std::uint64_t output = std::uint64_t{kSBoxes[box][row][column]} << (28 - 4 * box);
      tables[box][x] = static_cast<std::uint32_t>(Permute(output, 32, kP, 32));
    }
  }
  return tables;
}

}  // namespace

constinit const std::array<std::array<std::uint32_t, 256>, 8> kDesSpTables = MakeSpTables();

void DesExpandKey(DesKeySchedule& schedule, const std::uint8_t* key) {
  const std::uint64_t permuted = Permute(LoadBigEndian64(key), 64, kPc1, 56);
  std::uint32_t c = static_cast<std::uint32_t>(permuted >> 28);
  std::uint32_t d = static_cast<std::uint32_t>(permuted & 0x0fffffff);
  for (int round = 0; round < 16; ++round) {
    const int n = kRotations[round];
    c = ((c << n) | (c >> (28 - n))) & 0x0fffffff;
    d = ((d << n) | (d >> (28 - n))) & 0x0fffffff;
    const std::uint64_t roundKey = Permute((std::uint64_t{c} << 28) | d, 56, kPc2, 48);
    // Six key bits per S-box, S-box 1 first; boxes 1, 3, 5, 7 go to the odd
    // word and 2, 4, 6, 8 to the even one, in bytes 3, 2, 1, 0.
    std::uint32_t odd = 0, even = 0;
    for (int box = 0; box < 8; ++box) {
      const std::uint32_t bits = (roundKey >> (42 - 6 * box)) & 0x3f;
      std::uint32_t& word = box % 2 == 0 ? odd : even;
      word |= bits << (24 - 8 * (box / 2));
    }
    std::uint32_t (&words)[4] = schedule.roundKeys[round];
    words[0] = odd;
    words[1] = std::rotr(odd, 16);
    words[2] = even;
    words[3] = std::rotr(even, 16);
  }
}

}  // namespace tv::crypto::detail
