// The PKCS#1 v1.5 block codecs at their boundaries: eight padding bytes are
// the least a block is built or read with, and the encryption padding
// never contains a zero, however often the random source yields one.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "csp/crypto/objects/pkcs1.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Yields zeros and ones in turn: half the draws must be drawn again.
class ZeroHeavySource final : public tv::crypto::RandomSource {
 public:
  bool Fill(std::span<std::uint8_t> out) override {
    for (std::uint8_t& byte : out) byte = (next_++ % 2) ? 0x00 : 0x01;
    return true;
  }

 private:
  unsigned next_ = 0;
};

TEST(Pkcs1BlocksTest, SignatureBlockNeedsEightFfBytes) {
  const Bytes hash(20, 0xAB);
  const std::span<const std::uint8_t> header = tv::csp::DigestInfoHeader(CALG_SHA1);
  ASSERT_EQ(header.size(), 15u);
  Bytes fits(3 + 8 + 15 + 20), tooSmall(fits.size() - 1);
  ASSERT_TRUE(tv::csp::EncodeSignatureBlock(header, hash, fits));
  EXPECT_EQ(std::count(fits.begin(), fits.end(), 0xFF), 8);
  EXPECT_FALSE(tv::csp::EncodeSignatureBlock(header, hash, tooSmall));
  EXPECT_TRUE(tv::csp::IsSignatureBlock(fits, CALG_SHA1, hash, false));
  EXPECT_TRUE(tv::csp::DigestInfoHeader(CALG_HMAC).empty());
}

TEST(Pkcs1BlocksTest, EncryptionPaddingIsNonZeroAndAtLeastEightBytes) {
  ZeroHeavySource random;
  const Bytes key(37, 0x5A);
  Bytes block(48), tooSmall(47);
  EXPECT_EQ(tv::csp::MaxPkcs1Message(block.size()), key.size());
  ASSERT_TRUE(tv::csp::EncodeEncryptionBlock(key, block, random));
  EXPECT_EQ(Bytes(block.begin(), block.begin() + 2), Bytes({0x00, 0x02}));
  EXPECT_EQ(std::count(block.begin() + 2, block.begin() + 10, 0), 0);
  EXPECT_EQ(block[10], 0x00);
  EXPECT_FALSE(tv::csp::EncodeEncryptionBlock(key, tooSmall, random));

  std::span<const std::uint8_t> decoded;
  ASSERT_TRUE(tv::csp::DecodeEncryptionBlock(block, decoded));
  EXPECT_EQ(Bytes(decoded.begin(), decoded.end()), key);

  // An empty message fills the block with padding.
  ASSERT_TRUE(tv::csp::EncodeEncryptionBlock({}, block, random));
  EXPECT_EQ(block.back(), 0x00);
  ASSERT_TRUE(tv::csp::DecodeEncryptionBlock(block, decoded));
  EXPECT_TRUE(decoded.empty());
}

TEST(Pkcs1BlocksTest, EncryptionDecodingRefusesAnyOtherBlock) {
  const auto make = [](std::initializer_list<std::uint8_t> head, std::size_t size) {
    Bytes block(size, 0x44);
    std::copy(head.begin(), head.end(), block.begin());
    return block;
  };
  Bytes separatorLast = make({0x00, 0x02}, 48);
  separatorLast.back() = 0x00;
  const Bytes cases[] = {
      make({0x00, 0x02, 1, 2, 3, 4, 5, 6, 7, 0x00}, 48),     // seven padding bytes
      make({0x00, 0x02, 0x00}, 48),                          // no padding
      make({0x00, 0x02}, 48),                                // no separator
      make({0x00, 0x01, 1, 2, 3, 4, 5, 6, 7, 8, 0x00}, 48),  // block type 1
      make({0x01, 0x02, 1, 2, 3, 4, 5, 6, 7, 8, 0x00}, 48),  // leading byte
      make({0x00, 0x02, 1, 2, 3, 4, 5, 6, 7, 0x00}, 10),     // shorter than any block
      {},
  };
  for (const Bytes& block : cases) {
    std::span<const std::uint8_t> message;
    EXPECT_FALSE(tv::csp::DecodeEncryptionBlock(block, message)) << ::testing::PrintToString(block);
  }
  const struct {
    Bytes block;
    std::size_t messageSize;
  } accepted[] = {
      {make({0x00, 0x02, 1, 2, 3, 4, 5, 6, 7, 8, 0x00}, 12), 1},
      {make({0x00, 0x02, 1, 2, 3, 4, 5, 6, 7, 8, 0x00}, 11), 0},
      {separatorLast, 0},
  };
  for (const auto& c : accepted) {
    std::span<const std::uint8_t> message;
    EXPECT_TRUE(tv::csp::DecodeEncryptionBlock(c.block, message)) << ::testing::PrintToString(c.block);
    EXPECT_EQ(message.size(), c.messageSize);
  }
}

}  // namespace
