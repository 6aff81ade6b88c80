// RC4.
#include <utility>

#include "cipher/block_modes.h"
#include "cpu/byte_order.h"

namespace tv::crypto {
namespace {

constexpr std::uint32_t kMaxKeyBytes = 256;

struct Rc4State {
  std::uint32_t i;
  std::uint32_t j;
  std::uint8_t s[256];
};

// The key schedule cycles over the key bytes; there is no IV.
bool Rc4Setup(Rc4State& state, std::span<const std::uint8_t> key, std::uint32_t lengthWord,
              std::span<const std::uint8_t> iv) {
  const std::uint32_t keyBytes = (detail::KeyBits(lengthWord) + 7) / 8;
  if (keyBytes == 0 || keyBytes > kMaxKeyBytes || key.size() < keyBytes || !iv.empty()) return false;
  for (std::uint32_t n = 0; n < 256; ++n) state.s[n] = static_cast<std::uint8_t>(n);
  std::uint32_t j = 0;
  for (std::uint32_t n = 0; n < 256; ++n) {
    j = (j + state.s[n] + key[n % keyBytes]) & 0xff;
    std::swap(state.s[n], state.s[j]);
  }
  state.i = 0;
  state.j = 0;
  return true;
}

// Encryption and decryption alike: XORs the key stream into data. Eight key
// stream bytes are gathered into one word and XORed in at once, which keeps
// the loads and stores of the data out of the way of the stream's chain.
bool Rc4Crypt(Rc4State& state, std::span<std::uint8_t> data, CipherMode) {
  std::uint32_t i = state.i;
  std::uint32_t j = state.j;
  std::uint8_t* const s = state.s;
  const auto next = [&i, &j, s] {
    i = (i + 1) & 0xff;
    const std::uint8_t si = s[i];
    j = (j + si) & 0xff;
    const std::uint8_t sj = s[j];
    s[i] = sj;
    s[j] = si;
    return s[(si + sj) & 0xff];
  };
  std::uint8_t* p = data.data();
  std::uint8_t* const end = p + data.size();
  for (; end - p >= 8; p += 8) {
    std::uint64_t stream = 0;
    for (int b = 0; b < 8; ++b) stream |= std::uint64_t{next()} << (8 * b);
    StoreLittleEndian64(p, LoadLittleEndian64(p) ^ stream);
  }
  for (; p != end; ++p) *p ^= next();
  state.i = i;
  state.j = j;
  return true;
}

}  // namespace

constinit const CipherAlgorithm kRc4 =
    detail::MakeCipherAlgorithm<Rc4State, Rc4Setup, Rc4Crypt, Rc4Crypt>("rc4", 0);

}  // namespace tv::crypto
