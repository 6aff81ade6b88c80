// The four chaining modes over any block cipher, the feedback-register
// set-up shared by the block ciphers, and the making of a dispatch record
// from typed functions.
#pragma once
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "cipher/cipher.h"

namespace tv::crypto::detail {

inline bool IsKnownMode(CipherMode mode) { return static_cast<std::uint32_t>(mode) <= 3; }

// An IV is either absent (zero register) or exactly one block.
inline bool IsValidIv(std::span<const std::uint8_t> iv, std::size_t blockSize) {
  return iv.empty() || iv.size() == blockSize;
}

template <std::size_t BlockSize>
void LoadRegister(std::uint8_t (&reg)[BlockSize], std::span<const std::uint8_t> iv) {
  if (iv.empty()) {
    std::memset(reg, 0, BlockSize);
  } else {
    std::memcpy(reg, iv.data(), BlockSize);
  }
}

// A block cipher as the chaining modes see it. Blocks travel in a
// representation of the cipher's choosing (Block): Load turns kBlockSize
// bytes into it and Store turns it back. Both must be linear, so that
// Load(a ^ b) == Load(a) ^ Load(b): the modes then XOR in the representation
// and keep a costly conversion (DES's initial and final permutations) off
// the chain that runs from one block to the next. Encrypt and Decrypt
// transform an array of N independent blocks in place; where the mode
// allows, kLanes blocks go through at once so that their rounds overlap.
template <class C>
concept ChainableCipher = requires(const C cipher, typename C::Block (&one)[1], std::uint8_t* bytes) {
  { C::kBlockSize } -> std::convertible_to<std::size_t>;
  { C::kLanes } -> std::convertible_to<std::size_t>;
  { cipher.Load(static_cast<const std::uint8_t*>(bytes)) } -> std::same_as<typename C::Block>;
  cipher.Store(one[0], bytes);
  cipher.Encrypt(one);
  cipher.Decrypt(one);
  { one[0] ^ one[0] } -> std::same_as<typename C::Block>;
};

namespace modes_detail {

template <ChainableCipher Cipher>
typename Cipher::Block EncryptOne(const Cipher& cipher, typename Cipher::Block block) {
  typename Cipher::Block one[1] = {block};
  cipher.Encrypt(one);
  return one[0];
}

enum class Independent {
  EcbEncrypt,  // out = E(in)
  EcbDecrypt,  // out = D(in)
  CbcDecrypt,  // out = D(in) ^ previous input
  CfbDecrypt,  // out = E(previous input) ^ in
};

// N blocks of a mode whose blocks do not depend on each other's results;
// `previous` is the input block before the first (the register) and becomes
// the last input block.
template <Independent M, std::size_t N, ChainableCipher Cipher>
void Group(const Cipher& cipher, std::uint8_t* bytes, typename Cipher::Block& previous) {
  using Block = typename Cipher::Block;
  constexpr std::size_t kBlock = Cipher::kBlockSize;
  Block in[N], work[N];
  for (std::size_t j = 0; j < N; ++j) in[j] = cipher.Load(bytes + kBlock * j);
  for (std::size_t j = 0; j < N; ++j) {
    work[j] = M == Independent::CfbDecrypt ? (j == 0 ? previous : in[j - 1]) : in[j];
  }
  if constexpr (M == Independent::EcbDecrypt || M == Independent::CbcDecrypt) {
    cipher.Decrypt(work);
  } else {
    cipher.Encrypt(work);
  }
  for (std::size_t j = 0; j < N; ++j) {
    Block out = work[j];
    if constexpr (M == Independent::CbcDecrypt) out = out ^ (j == 0 ? previous : in[j - 1]);
    if constexpr (M == Independent::CfbDecrypt) out = out ^ in[j];
    cipher.Store(out, bytes + kBlock * j);
  }
  previous = in[N - 1];
}

template <Independent M, ChainableCipher Cipher>
void IndependentBlocks(const Cipher& cipher, std::uint8_t* bytes, std::uint8_t* end,
                       typename Cipher::Block& previous) {
  constexpr std::size_t kGroup = Cipher::kBlockSize * Cipher::kLanes;
  for (; static_cast<std::size_t>(end - bytes) >= kGroup; bytes += kGroup) {
    Group<M, Cipher::kLanes>(cipher, bytes, previous);
  }
  for (; bytes != end; bytes += Cipher::kBlockSize) Group<M, 1>(cipher, bytes, previous);
}

}  // namespace modes_detail

// Encrypts data in place in `mode`, carrying the feedback register `reg`
// (kept as bytes between calls). Fails, changing nothing, on a partial block
// or an unknown mode.
template <ChainableCipher Cipher>
bool EncryptInMode(const Cipher& cipher, std::uint8_t* reg, std::span<std::uint8_t> data,
                   CipherMode mode) {
  using namespace modes_detail;
  constexpr std::size_t kBlock = Cipher::kBlockSize;
  if (data.size() % kBlock != 0 || !IsKnownMode(mode)) return false;
  std::uint8_t* const end = data.data() + data.size();
  typename Cipher::Block r = cipher.Load(reg);
  switch (mode) {
    case CipherMode::Ecb:
      IndependentBlocks<Independent::EcbEncrypt>(cipher, data.data(), end, r);
      return true;  // the register is not used
    case CipherMode::Cbc:
      for (std::uint8_t* p = data.data(); p != end; p += kBlock) {
        r = EncryptOne(cipher, cipher.Load(p) ^ r);
        cipher.Store(r, p);
      }
      break;
    case CipherMode::Cfb:
      for (std::uint8_t* p = data.data(); p != end; p += kBlock) {
        r = cipher.Load(p) ^ EncryptOne(cipher, r);
        cipher.Store(r, p);
      }
      break;
    case CipherMode::Ofb:
      for (std::uint8_t* p = data.data(); p != end; p += kBlock) {
        r = EncryptOne(cipher, r);
        cipher.Store(cipher.Load(p) ^ r, p);
      }
      break;
  }
  cipher.Store(r, reg);
  return true;
}

// Decrypts data in place in `mode`; CFB and OFB use the cipher's forward
// direction only.
template <ChainableCipher Cipher>
bool DecryptInMode(const Cipher& cipher, std::uint8_t* reg, std::span<std::uint8_t> data,
                   CipherMode mode) {
  using namespace modes_detail;
  if (data.size() % Cipher::kBlockSize != 0 || !IsKnownMode(mode)) return false;
  std::uint8_t* const end = data.data() + data.size();
  typename Cipher::Block r = cipher.Load(reg);
  switch (mode) {
    case CipherMode::Ecb:
      IndependentBlocks<Independent::EcbDecrypt>(cipher, data.data(), end, r);
      return true;  // the register is not used
    case CipherMode::Cbc:
      IndependentBlocks<Independent::CbcDecrypt>(cipher, data.data(), end, r);
      break;
    case CipherMode::Cfb:
      IndependentBlocks<Independent::CfbDecrypt>(cipher, data.data(), end, r);
      break;
    case CipherMode::Ofb:
      return EncryptInMode(cipher, reg, data, mode);
  }
  cipher.Store(r, reg);
  return true;
}

// A dispatch record over typed functions of one state type.
template <class State,
          bool (*Setup)(State&, std::span<const std::uint8_t>, std::uint32_t,
                        std::span<const std::uint8_t>),
          bool (*Encrypt)(State&, std::span<std::uint8_t>, CipherMode),
          bool (*Decrypt)(State&, std::span<std::uint8_t>, CipherMode)>
constexpr CipherAlgorithm MakeCipherAlgorithm(const char* name, std::size_t blockSize) {
  static_assert(alignof(State) <= 8, "cipher states live in 8-byte aligned storage");
  return CipherAlgorithm{
      name,
      sizeof(State),
      blockSize,
      [](void* state, std::span<const std::uint8_t> key, std::uint32_t lengthWord,
         std::span<const std::uint8_t> iv) {
        return Setup(*static_cast<State*>(state), key, lengthWord, iv);
      },
      [](void* state, std::span<std::uint8_t> data, CipherMode mode) {
        return Encrypt(*static_cast<State*>(state), data, mode);
      },
      [](void* state, std::span<std::uint8_t> data, CipherMode mode) {
        return Decrypt(*static_cast<State*>(state), data, mode);
      },
  };
}

// Key length in bits carried in the low 16 bits of a set-up length word.
inline std::uint32_t KeyBits(std::uint32_t lengthWord) { return lengthWord & 0xffff; }

}  // namespace tv::crypto::detail
