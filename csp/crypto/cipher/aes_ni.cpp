// AES in the chaining modes with AES-NI. This file alone is compiled with
// -maes -msse4.1; it is reached only when cpu::UseAesNi() is true. Modes
// whose blocks are independent (ECB both ways, CBC and CFB decryption) run
// four blocks at once to keep the AES unit busy; the others are serial by
// nature.
#include <immintrin.h>

#include "cipher/aes_state.h"

namespace tv::crypto::detail {
namespace {

constexpr std::size_t kParallelBlocks = 4;

struct RoundKeys {
  __m128i key[kAesMaxRounds + 1];
  std::uint32_t rounds;
};

RoundKeys LoadKeys(const std::uint32_t* words, std::uint32_t rounds) {
  RoundKeys keys;
  for (std::uint32_t r = 0; r <= rounds; ++r) {
    keys.key[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words + 4 * r));
  }
  keys.rounds = rounds;
  return keys;
}

inline __m128i Load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(std::uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

enum class Direction { Encrypt, Decrypt };

// N blocks through all rounds, interleaved.
template <Direction D, std::size_t N>
inline void Crypt(const RoundKeys& keys, __m128i (&blocks)[N]) {
  for (std::size_t j = 0; j < N; ++j) blocks[j] = _mm_xor_si128(blocks[j], keys.key[0]);
  for (std::uint32_t r = 1; r < keys.rounds; ++r) {
    for (std::size_t j = 0; j < N; ++j) {
      blocks[j] = D == Direction::Encrypt ? _mm_aesenc_si128(blocks[j], keys.key[r])
                                          : _mm_aesdec_si128(blocks[j], keys.key[r]);
    }
  }
  for (std::size_t j = 0; j < N; ++j) {
    blocks[j] = D == Direction::Encrypt ? _mm_aesenclast_si128(blocks[j], keys.key[keys.rounds])
                                        : _mm_aesdeclast_si128(blocks[j], keys.key[keys.rounds]);
  }
}

inline __m128i EncryptOne(const RoundKeys& keys, __m128i block) {
  __m128i blocks[1] = {block};
  Crypt<Direction::Encrypt>(keys, blocks);
  return blocks[0];
}

// How a mode with independent blocks feeds the cipher and what it XORs into
// the cipher's output; c is the input block and previous the one before it
// (the register for the first).
enum class Feed {
  Plain,        // ECB: out = cipher(c)
  CbcDecrypt,   // out = D(c) ^ previous
  CfbDecrypt,   // out = E(previous) ^ c
};

template <Direction D, Feed F, std::size_t N>
inline void Group(const RoundKeys& keys, std::uint8_t* data, __m128i& previous) {
  __m128i in[N], blocks[N];
  for (std::size_t j = 0; j < N; ++j) in[j] = Load(data + kAesBlockSize * j);
  for (std::size_t j = 0; j < N; ++j) {
    blocks[j] = F == Feed::CfbDecrypt ? (j == 0 ? previous : in[j - 1]) : in[j];
  }
  Crypt<D>(keys, blocks);
  for (std::size_t j = 0; j < N; ++j) {
    __m128i out = blocks[j];
    if constexpr (F == Feed::CbcDecrypt) out = _mm_xor_si128(out, j == 0 ? previous : in[j - 1]);
    if constexpr (F == Feed::CfbDecrypt) out = _mm_xor_si128(out, in[j]);
    Store(data + kAesBlockSize * j, out);
  }
  previous = in[N - 1];
}

template <Direction D, Feed F>
void IndependentBlocks(const RoundKeys& keys, std::uint8_t* reg, std::uint8_t* data, std::size_t blocks) {
  __m128i previous = Load(reg);
  std::size_t i = 0;
  for (; i + kParallelBlocks <= blocks; i += kParallelBlocks) {
    Group<D, F, kParallelBlocks>(keys, data + kAesBlockSize * i, previous);
  }
  for (; i < blocks; ++i) Group<D, F, 1>(keys, data + kAesBlockSize * i, previous);
  if constexpr (F != Feed::Plain) Store(reg, previous);
}

void CbcEncrypt(const RoundKeys& keys, std::uint8_t* reg, std::uint8_t* data, std::size_t blocks) {
  __m128i r = Load(reg);
  for (std::size_t i = 0; i < blocks; ++i, data += kAesBlockSize) {
    r = EncryptOne(keys, _mm_xor_si128(Load(data), r));
    Store(data, r);
  }
  Store(reg, r);
}

void CfbEncrypt(const RoundKeys& keys, std::uint8_t* reg, std::uint8_t* data, std::size_t blocks) {
  __m128i r = Load(reg);
  for (std::size_t i = 0; i < blocks; ++i, data += kAesBlockSize) {
    r = _mm_xor_si128(Load(data), EncryptOne(keys, r));
    Store(data, r);
  }
  Store(reg, r);
}

void Ofb(const RoundKeys& keys, std::uint8_t* reg, std::uint8_t* data, std::size_t blocks) {
  __m128i r = Load(reg);
  for (std::size_t i = 0; i < blocks; ++i, data += kAesBlockSize) {
    r = EncryptOne(keys, r);
    Store(data, _mm_xor_si128(Load(data), r));
  }
  Store(reg, r);
}

}  // namespace

void AesNiEncrypt(AesState& state, std::uint8_t* data, std::size_t blocks, CipherMode mode) {
  const RoundKeys keys = LoadKeys(state.encryptionKeys, state.rounds);
  switch (mode) {
    case CipherMode::Ecb:
      IndependentBlocks<Direction::Encrypt, Feed::Plain>(keys, state.reg, data, blocks);
      break;
    case CipherMode::Cbc:
      CbcEncrypt(keys, state.reg, data, blocks);
      break;
    case CipherMode::Cfb:
      CfbEncrypt(keys, state.reg, data, blocks);
      break;
    case CipherMode::Ofb:
      Ofb(keys, state.reg, data, blocks);
      break;
  }
}

void AesNiDecrypt(AesState& state, std::uint8_t* data, std::size_t blocks, CipherMode mode) {
  switch (mode) {
    case CipherMode::Ecb:
      IndependentBlocks<Direction::Decrypt, Feed::Plain>(LoadKeys(state.decryptionKeys, state.rounds),
                                                          state.reg, data, blocks);
      break;
    case CipherMode::Cbc:
      IndependentBlocks<Direction::Decrypt, Feed::CbcDecrypt>(
          LoadKeys(state.decryptionKeys, state.rounds), state.reg, data, blocks);
      break;
    case CipherMode::Cfb:
      IndependentBlocks<Direction::Encrypt, Feed::CfbDecrypt>(
          LoadKeys(state.encryptionKeys, state.rounds), state.reg, data, blocks);
      break;
    case CipherMode::Ofb:
      Ofb(LoadKeys(state.encryptionKeys, state.rounds), state.reg, data, blocks);
      break;
  }
}

}  // namespace tv::crypto::detail
