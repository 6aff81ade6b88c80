// RC2 (RFC 2268) in the four chaining modes.
#include <bit>
#include <cstring>

#include "cipher/block_modes.h"
#include "cpu/byte_order.h"
#include "cpu/wipe.h"

namespace tv::crypto {
namespace {

constexpr std::size_t kBlockSize = 8;
constexpr std::uint32_t kMaxKeyBytes = 128;
constexpr std::uint32_t kMaxEffectiveBits = 1024;

struct Rc2State {
  std::uint16_t keyWords[64];
  std::uint8_t reg[kBlockSize];
};

// The permutation of 0..255 built from the digits of pi.
constexpr std::uint8_t kPiTable[256] = {
    0xd9, 0x78, 0xf9, 0xc4, 0x19, 0xdd, 0xb5, 0xed, 0x28, 0xe9, 0xfd, 0x79, 0x4a, 0xa0, 0xd8, 0x9d,
    0xc6, 0x7e, 0x37, 0x83, 0x2b, 0x76, 0x53, 0x8e, 0x62, 0x4c, 0x64, 0x88, 0x44, 0x8b, 0xfb, 0xa2,
    0x17, 0x9a, 0x59, 0xf5, 0x87, 0xb3, 0x4f, 0x13, 0x61, 0x45, 0x6d, 0x8d, 0x09, 0x81, 0x7d, 0x32,
    0xbd, 0x8f, 0x40, 0xeb, 0x86, 0xb7, 0x7b, 0x0b, 0xf0, 0x95, 0x21, 0x22, 0x5c, 0x6b, 0x4e, 0x82,
    0x54, 0xd6, 0x65, 0x93, 0xce, 0x60, 0xb2, 0x1c, 0x73, 0x56, 0xc0, 0x14, 0xa7, 0x8c, 0xf1, 0xdc,
    0x12, 0x75, 0xca, 0x1f, 0x3b, 0xbe, 0xe4, 0xd1, 0x42, 0x3d, 0xd4, 0x30, 0xa3, 0x3c, 0xb6, 0x26,
    0x6f, 0xbf, 0x0e, 0xda, 0x46, 0x69, 0x07, 0x57, 0x27, 0xf2, 0x1d, 0x9b, 0xbc, 0x94, 0x43, 0x03,
    0xf8, 0x11, 0xc7, 0xf6, 0x90, 0xef, 0x3e, 0xe7, 0x06, 0xc3, 0xd5, 0x2f, 0xc8, 0x66, 0x1e, 0xd7,
    0x08, 0xe8, 0xea, 0xde, 0x80, 0x52, 0xee, 0xf7, 0x84, 0xaa, 0x72, 0xac, 0x35, 0x4d, 0x6a, 0x2a,
    0x96, 0x1a, 0xd2, 0x71, 0x5a, 0x15, 0x49, 0x74, 0x4b, 0x9f, 0xd0, 0x5e, 0x04, 0x18, 0xa4, 0xec,
    0xc2, 0xe0, 0x41, 0x6e, 0x0f, 0x51, 0xcb, 0xcc, 0x24, 0x91, 0xaf, 0x50, 0xa1, 0xf4, 0x70, 0x39,
    0x99, 0x7c, 0x3a, 0x85, 0x23, 0xb8, 0xb4, 0x7a, 0xfc, 0x02, 0x36, 0x5b, 0x25, 0x55, 0x97, 0x31,
    0x2d, 0x5d, 0xfa, 0x98, 0xe3, 0x8a, 0x92, 0xae, 0x05, 0xdf, 0x29, 0x10, 0x67, 0x6c, 0xba, 0xc9,
    0xd3, 0x00, 0xe6, 0xcf, 0xe1, 0x9e, 0xa8, 0x2c, 0x63, 0x16, 0x01, 0x3f, 0x58, 0xe2, 0x89, 0xa9,
    0x0d, 0x38, 0x34, 0x1b, 0xab, 0x33, 0xff, 0xb0, 0xbb, 0x48, 0x0c, 0x5f, 0xb9, 0xb1, 0xcd, 0x2e,
    0xc5, 0xf3, 0xdb, 0x47, 0xe5, 0xa5, 0x9c, 0x77, 0x0a, 0xa6, 0x20, 0x68, 0xfe, 0x7f, 0xc1, 0xad};

constexpr bool IsPermutation(const std::uint8_t (&table)[256]) {
  bool seen[256] = {};
  for (std::uint8_t v : table) {
    if (seen[v]) return false;
    seen[v] = true;
  }
  return true;
}
static_assert(IsPermutation(kPiTable));

constexpr int kMixShift[4] = {1, 2, 3, 5};

// The key byte count and effective key bits carried by a set-up length word.
struct Rc2KeyLengths {
  std::uint32_t keyBytes;
  std::uint32_t effectiveBits;
};

Rc2KeyLengths DecodeLengthWord(std::uint32_t lengthWord) {
  const std::uint32_t bits = detail::KeyBits(lengthWord);
  const std::uint32_t upper = lengthWord >> 16;
  const std::uint32_t keyBytes = upper != 0 ? upper : (bits + 7) / 8;
  const std::uint32_t effectiveBits = bits == 0 || bits > kMaxEffectiveBits ? kMaxEffectiveBits : bits;
  return {keyBytes > kMaxKeyBytes ? kMaxKeyBytes : keyBytes, effectiveBits};
}

void ExpandKey(Rc2State& state, std::span<const std::uint8_t> key, std::uint32_t effectiveBits) {
  std::uint8_t expanded[128];
  const std::size_t t = key.size();
  std::memcpy(expanded, key.data(), t);
  for (std::size_t i = t; i < 128; ++i) {
    expanded[i] = kPiTable[(expanded[i - 1] + expanded[i - t]) & 0xff];
  }
  const std::size_t t8 = (effectiveBits + 7) / 8;
  const unsigned tm = 0xffu >> (8 * t8 - effectiveBits);
  expanded[128 - t8] = kPiTable[expanded[128 - t8] & tm];
  for (std::size_t i = 128 - t8; i-- != 0;) {
    expanded[i] = kPiTable[expanded[i + 1] ^ expanded[i + t8]];
  }
  for (int i = 0; i < 64; ++i) state.keyWords[i] = LoadLittleEndian16(expanded + 2 * i);
  SecureWipe(expanded, sizeof expanded);
}

bool Rc2Setup(Rc2State& state, std::span<const std::uint8_t> key, std::uint32_t lengthWord,
              std::span<const std::uint8_t> iv) {
  const Rc2KeyLengths lengths = DecodeLengthWord(lengthWord);
  if (lengths.keyBytes == 0 || key.size() < lengths.keyBytes || !detail::IsValidIv(iv, kBlockSize)) {
    return false;
  }
  ExpandKey(state, key.first(lengths.keyBytes), lengths.effectiveBits);
  detail::LoadRegister(state.reg, iv);
  return true;
}

// RC2 as the chaining modes see it: a block is its four little-endian
// 16-bit words packed into one integer.
struct Rc2Cipher {
  using Block = std::uint64_t;
  static constexpr std::size_t kBlockSize = 8;
  static constexpr std::size_t kLanes = 1;
  const std::uint16_t (&keyWords)[64];

  Block Load(const std::uint8_t* bytes) const { return LoadLittleEndian64(bytes); }
  void Store(Block block, std::uint8_t* bytes) const { StoreLittleEndian64(bytes, block); }

  template <std::size_t N>
  void Encrypt(Block (&blocks)[N]) const {
    for (Block& block : blocks) block = EncryptBlock(block);
  }
  template <std::size_t N>
  void Decrypt(Block (&blocks)[N]) const {
    for (Block& block : blocks) block = DecryptBlock(block);
  }

 private:
  // Sixteen mixing rounds with a mashing round after the fifth and the
  // eleventh.
  Block EncryptBlock(Block block) const {
    std::uint16_t r[4];
    Unpack(block, r);
    const std::uint16_t* k = keyWords;
    for (int round = 0; round < 16; ++round) {
#pragma GCC unroll 4
      for (int i = 0; i < 4; ++i) {
        const std::uint16_t mixed = static_cast<std::uint16_t>(
            r[i] + *k++ + (r[(i + 3) % 4] & r[(i + 2) % 4]) + (~r[(i + 3) % 4] & r[(i + 1) % 4]));
        r[i] = std::rotl(mixed, kMixShift[i]);
      }
      if (round == 4 || round == 10) {
#pragma GCC unroll 4
        for (int i = 0; i < 4; ++i) r[i] = static_cast<std::uint16_t>(r[i] + keyWords[r[(i + 3) % 4] & 63]);
      }
    }
    return Pack(r);
  }

  // The rounds undone in reverse order.
  Block DecryptBlock(Block block) const {
    std::uint16_t r[4];
    Unpack(block, r);
    const std::uint16_t* k = keyWords + 64;
    for (int round = 15; round >= 0; --round) {
#pragma GCC unroll 4
      for (int i = 3; i >= 0; --i) {
        r[i] = std::rotr(r[i], kMixShift[i]);
        r[i] = static_cast<std::uint16_t>(
            r[i] - *--k - (r[(i + 3) % 4] & r[(i + 2) % 4]) - (~r[(i + 3) % 4] & r[(i + 1) % 4]));
      }
      if (round == 5 || round == 11) {
#pragma GCC unroll 4
        for (int i = 3; i >= 0; --i) r[i] = static_cast<std::uint16_t>(r[i] - keyWords[r[(i + 3) % 4] & 63]);
      }
    }
    return Pack(r);
  }

  static void Unpack(Block block, std::uint16_t (&r)[4]) {
    for (int i = 0; i < 4; ++i) r[i] = static_cast<std::uint16_t>(block >> (16 * i));
  }
  static Block Pack(const std::uint16_t (&r)[4]) {
    Block block = 0;
    for (int i = 0; i < 4; ++i) block |= Block{r[i]} << (16 * i);
    return block;
  }
};

bool Rc2Encrypt(Rc2State& state, std::span<std::uint8_t> data, CipherMode mode) {
  return detail::EncryptInMode(Rc2Cipher{state.keyWords}, state.reg, data, mode);
}

bool Rc2Decrypt(Rc2State& state, std::span<std::uint8_t> data, CipherMode mode) {
  return detail::DecryptInMode(Rc2Cipher{state.keyWords}, state.reg, data, mode);
}

}  // namespace

constinit const CipherAlgorithm kRc2 =
    detail::MakeCipherAlgorithm<Rc2State, Rc2Setup, Rc2Encrypt, Rc2Decrypt>("rc2", kBlockSize);

}  // namespace tv::crypto
