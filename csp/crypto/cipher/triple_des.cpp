// Triple DES (encrypt-decrypt-encrypt) with two or three keys, in the four
// chaining modes.
#include "cipher/block_modes.h"
#include "cipher/des_core.h"

namespace tv::crypto {
namespace {

using detail::DesDirection;
using detail::kDesBlockSize;
using detail::kDesKeySize;

struct TripleDesState {
  detail::DesKeySchedule keys[3];
  std::uint8_t reg[kDesBlockSize];
};

// Triple DES as the chaining modes see it. Between the three DES operations
// the final and initial permutations cancel, so blocks stay permuted
// throughout.
struct TripleDesCipher : detail::DesBlocks {
  const detail::DesKeySchedule (&keys)[3];
  template <std::size_t N>
  void Encrypt(Block (&blocks)[N]) const {
    detail::DesRounds<DesDirection::Encrypt>(keys[0], blocks);
    detail::DesRounds<DesDirection::Decrypt>(keys[1], blocks);
    detail::DesRounds<DesDirection::Encrypt>(keys[2], blocks);
  }
  template <std::size_t N>
  void Decrypt(Block (&blocks)[N]) const {
    detail::DesRounds<DesDirection::Decrypt>(keys[2], blocks);
    detail::DesRounds<DesDirection::Encrypt>(keys[1], blocks);
    detail::DesRounds<DesDirection::Decrypt>(keys[0], blocks);
  }
};

// 192-bit keys give K1, K2, K3; 128-bit keys give K1, K2 and K3 = K1.
bool TripleDesSetup(TripleDesState& state, std::span<const std::uint8_t> key,
                    std::uint32_t lengthWord, std::span<const std::uint8_t> iv) {
  const std::uint32_t bits = detail::KeyBits(lengthWord);
  if ((bits != 128 && bits != 192) || key.size() < bits / 8 ||
      !detail::IsValidIv(iv, kDesBlockSize)) {
    return false;
  }
  const std::uint8_t* third = bits == 192 ? key.data() + 2 * kDesKeySize : key.data();
  detail::DesExpandKey(state.keys[0], key.data());
  detail::DesExpandKey(state.keys[1], key.data() + kDesKeySize);
  detail::DesExpandKey(state.keys[2], third);
  detail::LoadRegister(state.reg, iv);
  return true;
}

bool TripleDesEncrypt(TripleDesState& state, std::span<std::uint8_t> data, CipherMode mode) {
  return detail::EncryptInMode(TripleDesCipher{{}, state.keys}, state.reg, data, mode);
}

bool TripleDesDecrypt(TripleDesState& state, std::span<std::uint8_t> data, CipherMode mode) {
  return detail::DecryptInMode(TripleDesCipher{{}, state.keys}, state.reg, data, mode);
}

}  // namespace

constinit const CipherAlgorithm kTripleDes =
    detail::MakeCipherAlgorithm<TripleDesState, TripleDesSetup, TripleDesEncrypt, TripleDesDecrypt>(
        "3des", kDesBlockSize);

}  // namespace tv::crypto
