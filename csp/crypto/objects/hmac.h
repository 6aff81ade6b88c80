// HMAC (RFC 2104) with pads of 64 bytes for every inner hash. For SHA-384
// and SHA-512, whose blocks are 128 bytes, the value therefore differs from
// RFC 4231's HMAC.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "csp/crypto/hash/hash.h"
#include "csp/crypto/objects/key_object.h"

namespace tv::csp {

class HmacPads {
 public:
  static constexpr std::size_t kPadLength = 64;

  // The inner pad (0x36) and outer pad (0x5C), each XORed from its first
  // byte with the key's bytes: key length / 8 whole bytes in stored order,
  // never more than the key's material (key plus salt) holds. Null with
  // NTE_BAD_KEY for a key that is not a session key, NTE_NO_MEMORY.
  static std::unique_ptr<HmacPads> FromKey(const KeyObject& key);
  ~HmacPads();
  HmacPads(const HmacPads&) = delete;
  HmacPads& operator=(const HmacPads&) = delete;

  // Starts the inner hash: init, then the inner pad.
  void Start(const crypto::HashAlgorithm& hash, void* context) const;
  // Ends the inner hash and writes H(outer pad || inner digest) to digest.
  void Finish(const crypto::HashAlgorithm& hash, void* context, std::uint8_t* digest) const;

 private:
  HmacPads() = default;

  std::uint8_t inner_[kPadLength];
  std::uint8_t outer_[kPadLength];
};

}  // namespace tv::csp
