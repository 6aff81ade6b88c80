// In-process fixture of the hash entry tests: a provider record registered
// under HandleTag, session keys made with chosen bytes, and short forms of
// the entries. Every hash and key made through the fixture is destroyed at
// the end of the test unless the test destroyed it.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "csp/crypto/cipher/cipher.h"
#include "csp/crypto/hash/hash.h"
#include "tests/support/byte_strings.h"

namespace tvtest {

inline std::span<const std::uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}
// `length` bytes of a fixed non-repeating pattern.
Bytes Pattern(std::size_t length, std::uint8_t seed = 1);

// Digest through a hash record, computed here independently of the objects.
Bytes Digest(const tv::crypto::HashAlgorithm& algorithm, std::span<const std::uint8_t> data);
// HMAC with 64-byte pads: H(key ^ 0x5C.. || H(key ^ 0x36.. || data)).
Bytes Hmac64(const tv::crypto::HashAlgorithm& algorithm, std::span<const std::uint8_t> key,
             std::span<const std::uint8_t> data);
// CBC encryption under a zero IV of the data padded with zeros to whole
// blocks (one zero block when empty); the last cipher block.
Bytes CbcMacOf(const tv::crypto::CipherAlgorithm& cipher, std::span<const std::uint8_t> key,
               std::uint32_t lengthWord, std::span<const std::uint8_t> data);

class HashFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  HCRYPTPROV Provider() const;

  // A session key of `algorithm` made with `flags` (key bits in the upper
  // half) whose key buffer starts with `bytes`; set up with its IV (zeros).
  HCRYPTKEY SessionKey(ALG_ID algorithm, std::span<const std::uint8_t> bytes, DWORD flags = 0);
  // An RSA key without numbers: a valid key handle that is not a session key.
  HCRYPTKEY RsaKey();
  // The handle of an object, 0 (and the error in GetLastError) on failure.
  HCRYPTHASH Create(ALG_ID algorithm, HCRYPTKEY key = 0);
  HCRYPTHASH Duplicate(HCRYPTHASH hash);
  BOOL Feed(HCRYPTHASH hash, std::span<const std::uint8_t> data, DWORD flags = 0);
  // Feeds data in pieces of `piece` bytes.
  BOOL FeedInPieces(HCRYPTHASH hash, std::span<const std::uint8_t> data, std::size_t piece);
  BOOL SetHmacInfo(HCRYPTHASH hash, ALG_ID inner);
  // HP_HASHVAL read with a buffer of the size the object reports; empty on
  // failure.
  Bytes Value(HCRYPTHASH hash);
  // A four-byte parameter; 0xFFFFFFFF on failure.
  DWORD Word(HCRYPTHASH hash, DWORD param);
  // An object of `algorithm` (with `key`) fed `data` and read.
  Bytes DigestOf(ALG_ID algorithm, std::span<const std::uint8_t> data, HCRYPTKEY key = 0);
  // An HMAC object over `inner` with `key`, fed `data` and read.
  Bytes HmacOf(ALG_ID inner, HCRYPTKEY key, std::span<const std::uint8_t> data);

 private:
  std::vector<HCRYPTHASH> hashes_;
  std::vector<HCRYPTKEY> keys_;
  unsigned char provider_[32] = {};
};

// The last error of a call expected to fail; 0 when it succeeded.
DWORD ErrorOf(BOOL result);

}  // namespace tvtest
