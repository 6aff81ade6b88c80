#include "csp/storage/protection_stream.h"

#include <windows.h>

#include <cstring>

#include "csp/crypto/cipher/cipher.h"
#include "csp/crypto/cpu/wipe.h"

namespace tv::csp {

bool ProtectionKeystream(ProtectionKey key, std::span<std::uint8_t> stream) {
  const crypto::CipherAlgorithm& rc4 = crypto::kRc4;
  crypto::WipingBuffer state(rc4.stateSize);
  if (state.Size() != rc4.stateSize) {
    SetLastError(static_cast<DWORD>(NTE_NO_MEMORY));
    return false;
  }
  // The key stream is what encrypting zeros gives.
  std::memset(stream.data(), 0, stream.size());
  return rc4.setup(state.Data(), key, kProtectionKeySize * 8, {}) &&
         rc4.encrypt(state.Data(), stream, crypto::CipherMode::Ecb);
}

void ApplyKeystream(std::span<std::uint8_t> data, std::span<const std::uint8_t> stream, std::size_t position) {
  const std::uint8_t* key = stream.data() + position;
  for (std::size_t i = 0; i < data.size(); ++i) data[i] ^= key[i];
}

}  // namespace tv::csp
