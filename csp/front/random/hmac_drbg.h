// HMAC_DRBG with SHA-256 (NIST SP 800-90A, section 10.1.2): the
// deterministic half of the provider's software random generator. Its
// entropy comes from the caller (the operating system's generator, see
// random_generator.h). The state is wiped when the object is destroyed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "cpu/wipe.h"

namespace tv::csp {

class HmacDrbg {
 public:
  static constexpr std::size_t kOutLength = 32;             // SHA-256 digest
  static constexpr std::size_t kMaxRequest = 65536;         // 2^19 bits per Generate
  static constexpr std::uint64_t kReseedInterval = 1ull << 48;

  HmacDrbg() = default;
  HmacDrbg(const HmacDrbg&) = delete;
  HmacDrbg& operator=(const HmacDrbg&) = delete;
  ~HmacDrbg() { Wipe(); }

  // Starts from entropy || nonce || personalization, replacing any state;
  // false only when there is no memory for the hash state.
  bool Instantiate(std::span<const std::uint8_t> entropy, std::span<const std::uint8_t> nonce,
                   std::span<const std::uint8_t> personalization);
  // Mixes fresh entropy and additional input into the state.
  void Reseed(std::span<const std::uint8_t> entropy, std::span<const std::uint8_t> additional);
  // Fills out (at most kMaxRequest bytes) after mixing in the additional
  // input. False, with nothing written, when the generator was never
  // instantiated, the request is too long, or a reseed is due.
  bool Generate(std::span<std::uint8_t> out, std::span<const std::uint8_t> additional = {});

  bool instantiated() const { return reseedCounter_ != 0; }
  // Forgets the state: the generator must be instantiated again.
  void Wipe();

 private:
  using Parts = std::initializer_list<std::span<const std::uint8_t>>;
  void Update(Parts provided);  // at most three parts

  crypto::WipingBuffer hashContext_;  // SHA-256 state of the HMAC computations
  std::uint8_t key_[kOutLength] = {};
  std::uint8_t value_[kOutLength] = {};
  std::uint64_t reseedCounter_ = 0;  // 0: not instantiated
};

}  // namespace tv::csp
