#include "csp/front/random/hmac_drbg.h"

#include <algorithm>
#include <cstring>

#include "cpu/wipe.h"
#include "hash/hash.h"

namespace tv::csp {
namespace {

using crypto::kSha256;
using Part = std::span<const std::uint8_t>;

constexpr std::size_t kBlockSize = 64;

// out = HMAC-SHA256(key, concatenation of the parts), for a 32-byte key,
// in the given SHA-256 context; out may be one of the parts.
void Hmac(void* context, const std::uint8_t* key, std::span<const Part> parts, std::uint8_t* out) {
  std::uint8_t pad[kBlockSize];
  std::uint8_t inner[HmacDrbg::kOutLength];

  std::memset(pad, 0x36, sizeof pad);
  for (std::size_t i = 0; i < HmacDrbg::kOutLength; ++i) pad[i] ^= key[i];
  kSha256.init(context);
  kSha256.update(context, Part(pad));
  for (const auto part : parts) kSha256.update(context, part);
  kSha256.final(context, inner);

  for (std::size_t i = 0; i < kBlockSize; ++i) pad[i] ^= 0x36 ^ 0x5c;
  kSha256.init(context);
  kSha256.update(context, Part(pad));
  kSha256.update(context, Part(inner));
  kSha256.final(context, out);

  crypto::SecureWipe(context, kSha256.contextSize);
  crypto::SecureWipe(pad, sizeof pad);
  crypto::SecureWipe(inner, sizeof inner);
}


}  // namespace

// K = HMAC(K, V || 0x00 || provided), V = HMAC(K, V), and once more with
// 0x01 when something is provided (at most three parts).
void HmacDrbg::Update(Parts provided) {
  Part parts[5] = {value_};
  std::size_t count = 2;
  bool empty = true;
  for (const Part part : provided) {
    parts[count++] = part;
    empty = empty && part.empty();
  }
  for (const std::uint8_t separator : {std::uint8_t{0x00}, std::uint8_t{0x01}}) {
    parts[1] = Part(&separator, 1);
    std::uint8_t newKey[kOutLength];
    Hmac(hashContext_.Data(), key_, {parts, count}, newKey);
    std::memcpy(key_, newKey, kOutLength);
    crypto::SecureWipe(newKey, sizeof newKey);
    Hmac(hashContext_.Data(), key_, {parts, 1}, value_);
    if (empty) break;
  }
}

bool HmacDrbg::Instantiate(std::span<const std::uint8_t> entropy,
                           std::span<const std::uint8_t> nonce,
                           std::span<const std::uint8_t> personalization) {
  if (hashContext_.Size() != kSha256.contextSize) {
    hashContext_ = crypto::WipingBuffer(kSha256.contextSize);
    if (hashContext_.Size() != kSha256.contextSize) return false;
  }
  std::memset(key_, 0x00, kOutLength);
  std::memset(value_, 0x01, kOutLength);
  Update({entropy, nonce, personalization});
  reseedCounter_ = 1;
  return true;
}

void HmacDrbg::Reseed(std::span<const std::uint8_t> entropy,
                      std::span<const std::uint8_t> additional) {
  Update({entropy, additional});
  reseedCounter_ = 1;
}

bool HmacDrbg::Generate(std::span<std::uint8_t> out, std::span<const std::uint8_t> additional) {
  if (!instantiated() || out.size() > kMaxRequest || reseedCounter_ > kReseedInterval) {
    return false;
  }
  if (!additional.empty()) Update({additional});
  for (std::size_t done = 0; done < out.size(); done += kOutLength) {
    const Part value(value_);
    Hmac(hashContext_.Data(), key_, {&value, 1}, value_);
    std::memcpy(out.data() + done, value_, std::min(kOutLength, out.size() - done));
  }
  Update({additional});
  ++reseedCounter_;
  return true;
}

void HmacDrbg::Wipe() {
  crypto::SecureWipe(key_, sizeof key_);
  crypto::SecureWipe(value_, sizeof value_);
  reseedCounter_ = 0;
}

}  // namespace tv::csp
