// The AES cipher state shared by the portable code (aes.cpp) and the AES-NI
// code (aes_ni.cpp).
#pragma once
#include <cstddef>
#include <cstdint>

#include "cipher/cipher.h"

namespace tv::crypto::detail {

inline constexpr std::size_t kAesBlockSize = 16;
inline constexpr std::size_t kAesMaxRounds = 14;

// Round keys are stored as little-endian column words, so their bytes are in
// the standard's order, which is also what AES-NI loads. decryptionKeys serve
// the equivalent inverse cipher: the encryption keys in reverse order, the
// inner ones passed through InvMixColumns.
struct AesState {
  std::uint32_t encryptionKeys[4 * (kAesMaxRounds + 1)];
  std::uint32_t decryptionKeys[4 * (kAesMaxRounds + 1)];
  std::uint32_t rounds;  // 10, 12 or 14
  std::uint8_t reg[kAesBlockSize];
};

// The chaining modes with AES-NI. data holds `blocks` whole blocks and mode
// is one of CipherMode's values (the caller has checked both). Call only
// when cpu::UseAesNi() is true.
void AesNiEncrypt(AesState& state, std::uint8_t* data, std::size_t blocks, CipherMode mode);
void AesNiDecrypt(AesState& state, std::uint8_t* data, std::size_t blocks, CipherMode mode);

}  // namespace tv::crypto::detail
