// AES (FIPS 197): key schedule, portable table-driven block functions, and
// the choice between them and AES-NI on every call. The lookup tables are
// computed at compile time from the field arithmetic, so no run-time
// initialisation is shared between threads.
#include <array>
#include <bit>

#include "cipher/aes_state.h"
#include "cipher/block_modes.h"
#include "cpu/byte_order.h"
#include "cpu/cpu_features.h"

namespace tv::crypto {
namespace {

using detail::AesState;
using detail::kAesBlockSize;

// Multiplication in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1.
constexpr std::uint8_t Multiply(std::uint8_t a, std::uint8_t b) {
  std::uint8_t product = 0;
  for (; b != 0; b >>= 1) {
    if (b & 1) product ^= a;
    a = static_cast<std::uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1b : 0));
  }
  return product;
}

constexpr std::uint8_t Inverse(std::uint8_t a) {
  // a^254 = a^-1, and 0 maps to 0.
  std::uint8_t result = 1;
  for (int i = 0; i < 254; ++i) result = Multiply(result, a);
  return a == 0 ? 0 : result;
}

struct Tables {
  std::array<std::uint8_t, 256> sbox;
  std::array<std::uint8_t, 256> inverseSbox;
  std::array<std::array<std::uint32_t, 256>, 4> encrypt;  // SubBytes + MixColumns per input row
  std::array<std::array<std::uint32_t, 256>, 4> decrypt;  // InvSubBytes + InvMixColumns per row
};

constexpr std::uint32_t Column(std::uint8_t r0, std::uint8_t r1, std::uint8_t r2, std::uint8_t r3) {
  return std::uint32_t{r0} | std::uint32_t{r1} << 8 | std::uint32_t{r2} << 16 | std::uint32_t{r3} << 24;
}

constexpr Tables MakeTables() {
  Tables t{};
  for (int x = 0; x < 256; ++x) {
    const std::uint8_t b = Inverse(static_cast<std::uint8_t>(x));
    const std::uint8_t s = static_cast<std::uint8_t>(b ^ std::rotl(b, 1) ^ std::rotl(b, 2) ^
                                                     std::rotl(b, 3) ^ std::rotl(b, 4) ^ 0x63);
    t.sbox[x] = s;
    t.inverseSbox[s] = static_cast<std::uint8_t>(x);
  }
  for (int x = 0; x < 256; ++x) {
    const std::uint8_t s = t.sbox[x];
    const std::uint8_t v = t.inverseSbox[x];
    const std::uint32_t e = Column(Multiply(s, 2), s, s, Multiply(s, 3));
    const std::uint32_t d = Column(Multiply(v, 14), Multiply(v, 9), Multiply(v, 13), Multiply(v, 11));
    for (int row = 0; row < 4; ++row) {
      t.encrypt[row][x] = std::rotl(e, 8 * row);
      t.decrypt[row][x] = std::rotl(d, 8 * row);
    }
  }
  return t;
}

constexpr Tables kTables = MakeTables();
static_assert(kTables.sbox[0x00] == 0x63 && kTables.sbox[0x53] == 0xed);

constexpr std::uint32_t Byte(std::uint32_t word, int index) { return (word >> (8 * index)) & 0xff; }

constexpr std::uint32_t SubWord(std::uint32_t w) {
  return Column(kTables.sbox[Byte(w, 0)], kTables.sbox[Byte(w, 1)], kTables.sbox[Byte(w, 2)],
                kTables.sbox[Byte(w, 3)]);
}

constexpr std::uint32_t InvMixColumn(std::uint32_t w) {
  // The decryption tables apply InvSubBytes first; undo it with SubBytes.
  std::uint32_t result = 0;
  for (int row = 0; row < 4; ++row) result ^= kTables.decrypt[row][kTables.sbox[Byte(w, row)]];
  return result;
}

void ExpandKey(AesState& state, const std::uint8_t* key, std::uint32_t keyWords) {
  const std::uint32_t rounds = keyWords + 6;
  const std::uint32_t total = 4 * (rounds + 1);
  std::uint32_t* w = state.encryptionKeys;
  for (std::uint32_t i = 0; i < keyWords; ++i) w[i] = LoadLittleEndian32(key + 4 * i);
  std::uint8_t roundConstant = 1;
  for (std::uint32_t i = keyWords; i < total; ++i) {
    std::uint32_t t = w[i - 1];
    if (i % keyWords == 0) {
      t = SubWord(std::rotr(t, 8)) ^ roundConstant;
      roundConstant = Multiply(roundConstant, 2);
    } else if (keyWords > 6 && i % keyWords == 4) {
      t = SubWord(t);
    }
    w[i] = w[i - keyWords] ^ t;
  }
  std::uint32_t* d = state.decryptionKeys;
  for (std::uint32_t round = 0; round <= rounds; ++round) {
    const bool inner = round != 0 && round != rounds;
    for (int c = 0; c < 4; ++c) {
      const std::uint32_t word = w[4 * (rounds - round) + c];
      d[4 * round + c] = inner ? InvMixColumn(word) : word;
    }
  }
  state.rounds = rounds;
}

bool AesSetup(AesState& state, std::span<const std::uint8_t> key, std::uint32_t lengthWord,
              std::span<const std::uint8_t> iv) {
  const std::uint32_t bits = detail::KeyBits(lengthWord);
  if ((bits != 128 && bits != 192 && bits != 256) || key.size() < bits / 8 ||
      !detail::IsValidIv(iv, kAesBlockSize)) {
    return false;
  }
  ExpandKey(state, key.data(), bits / 32);
  detail::LoadRegister(state.reg, iv);
  return true;
}

// A block as four little-endian column words.
struct AesBlock {
  std::uint32_t column[4];
  friend AesBlock operator^(AesBlock a, const AesBlock& b) {
    for (int c = 0; c < 4; ++c) a.column[c] ^= b.column[c];
    return a;
  }
};

// One table-driven round in the direction `table` gives; Shift is 1 for
// ShiftRows and 3 for InvShiftRows.
template <int Shift>
inline AesBlock Round(const std::array<std::array<std::uint32_t, 256>, 4>& table, const AesBlock& in,
                      const std::uint32_t* key) {
  AesBlock out;
#pragma GCC unroll 4
  for (int c = 0; c < 4; ++c) {
    out.column[c] = table[0][Byte(in.column[c], 0)] ^ table[1][Byte(in.column[(c + Shift) % 4], 1)] ^
                    table[2][Byte(in.column[(c + 2 * Shift) % 4], 2)] ^
                    table[3][Byte(in.column[(c + 3 * Shift) % 4], 3)] ^ key[c];
  }
  return out;
}

// The last round: substitution and row shift without column mixing.
template <int Shift>
inline AesBlock LastRound(const std::array<std::uint8_t, 256>& box, const AesBlock& in, const std::uint32_t* key) {
  AesBlock out;
#pragma GCC unroll 4
  for (int c = 0; c < 4; ++c) {
    out.column[c] = Column(box[Byte(in.column[c], 0)], box[Byte(in.column[(c + Shift) % 4], 1)],
                           box[Byte(in.column[(c + 2 * Shift) % 4], 2)],
                           box[Byte(in.column[(c + 3 * Shift) % 4], 3)]) ^
                    key[c];
  }
  return out;
}

// The cipher (Shift 1 with the encryption keys and tables) or the equivalent
// inverse cipher (Shift 3 with the decryption keys and tables) on one block.
template <int Shift>
AesBlock CryptBlock(const std::uint32_t* keys, std::uint32_t rounds,
                    const std::array<std::array<std::uint32_t, 256>, 4>& table,
                    const std::array<std::uint8_t, 256>& lastBox, AesBlock block) {
  for (int c = 0; c < 4; ++c) block.column[c] ^= keys[c];
  for (std::uint32_t round = 1; round < rounds; ++round) block = Round<Shift>(table, block, keys + 4 * round);
  return LastRound<Shift>(lastBox, block, keys + 4 * rounds);
}

// Portable AES as the chaining modes see it. One block already offers
// sixteen independent lookups per round, so blocks go one at a time.
struct AesCipher {
  using Block = AesBlock;
  static constexpr std::size_t kBlockSize = kAesBlockSize;
  static constexpr std::size_t kLanes = 1;
  const AesState& state;

  Block Load(const std::uint8_t* bytes) const {
    Block block;
    for (int c = 0; c < 4; ++c) block.column[c] = LoadLittleEndian32(bytes + 4 * c);
    return block;
  }
  void Store(const Block& block, std::uint8_t* bytes) const {
    for (int c = 0; c < 4; ++c) StoreLittleEndian32(bytes + 4 * c, block.column[c]);
  }
  template <std::size_t N>
  void Encrypt(Block (&blocks)[N]) const {
    for (Block& block : blocks) {
      block = CryptBlock<1>(state.encryptionKeys, state.rounds, kTables.encrypt, kTables.sbox, block);
    }
  }
  template <std::size_t N>
  void Decrypt(Block (&blocks)[N]) const {
    for (Block& block : blocks) {
      block = CryptBlock<3>(state.decryptionKeys, state.rounds, kTables.decrypt, kTables.inverseSbox, block);
    }
  }
};

bool AesEncrypt(AesState& state, std::span<std::uint8_t> data, CipherMode mode) {
  if (data.size() % kAesBlockSize == 0 && detail::IsKnownMode(mode) && cpu::UseAesNi()) {
    detail::AesNiEncrypt(state, data.data(), data.size() / kAesBlockSize, mode);
    return true;
  }
  return detail::EncryptInMode(AesCipher{state}, state.reg, data, mode);
}

bool AesDecrypt(AesState& state, std::span<std::uint8_t> data, CipherMode mode) {
  if (data.size() % kAesBlockSize == 0 && detail::IsKnownMode(mode) && cpu::UseAesNi()) {
    detail::AesNiDecrypt(state, data.data(), data.size() / kAesBlockSize, mode);
    return true;
  }
  return detail::DecryptInMode(AesCipher{state}, state.reg, data, mode);
}

}  // namespace

constinit const CipherAlgorithm kAes =
    detail::MakeCipherAlgorithm<AesState, AesSetup, AesEncrypt, AesDecrypt>("aes", kAesBlockSize);

}  // namespace tv::crypto
