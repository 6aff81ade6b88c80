// DES in the four chaining modes.
#include "cipher/block_modes.h"
#include "cipher/des_core.h"

namespace tv::crypto {
namespace {

using detail::DesDirection;
using detail::kDesBlockSize;

struct DesState {
  detail::DesKeySchedule schedule;
  std::uint8_t reg[kDesBlockSize];
};

// DES as the chaining modes see it.
struct DesCipher : detail::DesBlocks {
  const detail::DesKeySchedule& schedule;
  template <std::size_t N>
  void Encrypt(Block (&blocks)[N]) const {
    detail::DesRounds<DesDirection::Encrypt>(schedule, blocks);
  }
  template <std::size_t N>
  void Decrypt(Block (&blocks)[N]) const {
    detail::DesRounds<DesDirection::Decrypt>(schedule, blocks);
  }
};

bool DesSetup(DesState& state, std::span<const std::uint8_t> key, std::uint32_t lengthWord,
              std::span<const std::uint8_t> iv) {
  if (detail::KeyBits(lengthWord) != 64 || key.size() < detail::kDesKeySize ||
      !detail::IsValidIv(iv, kDesBlockSize)) {
    return false;
  }
  detail::DesExpandKey(state.schedule, key.data());
  detail::LoadRegister(state.reg, iv);
  return true;
}

bool DesEncrypt(DesState& state, std::span<std::uint8_t> data, CipherMode mode) {
  return detail::EncryptInMode(DesCipher{{}, state.schedule}, state.reg, data, mode);
}

bool DesDecrypt(DesState& state, std::span<std::uint8_t> data, CipherMode mode) {
  return detail::DecryptInMode(DesCipher{{}, state.schedule}, state.reg, data, mode);
}

}  // namespace

constinit const CipherAlgorithm kDes =
    detail::MakeCipherAlgorithm<DesState, DesSetup, DesEncrypt, DesDecrypt>("des", kDesBlockSize);

}  // namespace tv::crypto
