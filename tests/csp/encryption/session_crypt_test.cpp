// The message rules on their own: chaining modes by KP_MODE, padded
// lengths, and the padding check after decryption, which must never read
// outside the message.
#include <gtest/gtest.h>

#include <vector>

#include "csp/crypto/objects/session_crypt.h"

namespace {

using tv::csp::PaddingFault;

TEST(SessionCryptTest, OnlyModesTheCiphersOfferChain) {
  EXPECT_EQ(tv::csp::ChainingMode(CRYPT_MODE_CBC), tv::crypto::CipherMode::Cbc);
  EXPECT_EQ(tv::csp::ChainingMode(CRYPT_MODE_ECB), tv::crypto::CipherMode::Ecb);
  EXPECT_EQ(tv::csp::ChainingMode(CRYPT_MODE_OFB), tv::crypto::CipherMode::Ofb);
  EXPECT_EQ(tv::csp::ChainingMode(CRYPT_MODE_CFB), tv::crypto::CipherMode::Cfb);
  for (std::uint32_t refused : {0u, static_cast<std::uint32_t>(CRYPT_MODE_CTS), 6u})
    EXPECT_FALSE(tv::csp::ChainingMode(refused).has_value()) << refused;
}

TEST(SessionCryptTest, FinalPieceAlwaysGainsOneToBlockBytes) {
  const struct {
    std::uint64_t length;
    std::uint32_t block;
    std::uint64_t padded;
  } cases[] = {
      {0, 8, 8},   {1, 8, 8},   {7, 8, 8},     {8, 8, 16},
      {9, 8, 16},  {15, 16, 16}, {16, 16, 32}, {0xFFFFFFF8, 8, 0x100000000},
  };
  for (const auto& c : cases) EXPECT_EQ(tv::csp::PaddedLength(c.length, c.block), c.padded) << c.length;
}

TEST(SessionCryptTest, PadBytesFollowThePaddingKind) {
  std::vector<std::uint8_t> pad(5, 0xEE);
  tv::csp::WritePadding(pad, PKCS5_PADDING);
  EXPECT_EQ(pad, std::vector<std::uint8_t>(5, 5));
  tv::csp::WritePadding(pad, RANDOM_PADDING);
  EXPECT_EQ(pad, std::vector<std::uint8_t>(5, 5));
  tv::csp::WritePadding(pad, ZERO_PADDING);
  EXPECT_EQ(pad, std::vector<std::uint8_t>(5, 0));
}

TEST(SessionCryptTest, PaddingCheckAfterDecryption) {
  const struct {
    const char* name;
    std::vector<std::uint8_t> message;
    std::uint32_t block;
    std::uint32_t padding;
    PaddingFault fault;
    std::uint32_t padBytes;
  } cases[] = {
      {"one pad byte", {9, 9, 9, 9, 9, 9, 9, 1}, 8, PKCS5_PADDING, PaddingFault::None, 1},
      {"whole block of padding", {8, 8, 8, 8, 8, 8, 8, 8}, 8, PKCS5_PADDING, PaddingFault::None, 8},
      {"count zero", {1, 1, 1, 1, 1, 1, 1, 0}, 8, PKCS5_PADDING, PaddingFault::BadPadCount, 0},
      {"count above the block", {9, 9, 9, 9, 9, 9, 9, 9}, 8, PKCS5_PADDING, PaddingFault::BadPadCount, 0},
      {"count above a short message", {9, 9, 9, 9, 9, 9, 9, 9}, 16, PKCS5_PADDING, PaddingFault::BadPadCount, 0},
      {"no block at all", {}, 8, PKCS5_PADDING, PaddingFault::BadPadCount, 0},
      {"unequal pad bytes", {0, 0, 0, 0, 0, 2, 3, 3}, 8, PKCS5_PADDING, PaddingFault::UnequalPadBytes, 0},
      {"zero padding kept", {5, 0, 0, 0, 0, 0, 0, 0}, 8, ZERO_PADDING, PaddingFault::None, 0},
      {"zero padding, last byte set", {0, 0, 0, 0, 0, 0, 0, 1}, 8, ZERO_PADDING, PaddingFault::NoZeroPad, 0},
      {"zero padding, no block", {}, 8, ZERO_PADDING, PaddingFault::NoZeroPad, 0},
      {"random padding unchecked", {0, 0, 0, 0, 0, 0, 0, 0xFF}, 8, RANDOM_PADDING, PaddingFault::None, 0},
  };
  for (const auto& c : cases) {
    const tv::csp::PaddingCheck check = tv::csp::CheckPadding(c.message, c.block, c.padding);
    EXPECT_EQ(check.fault, c.fault) << c.name;
    EXPECT_EQ(check.padBytes, c.padBytes) << c.name;
  }
}

}  // namespace
