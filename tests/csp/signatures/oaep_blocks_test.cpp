// The OAEP block codec against the intermediate values published with the
// PKCS#1 v2 test vectors (SHA-1, MGF1, empty label), and its refusal of
// every altered block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "csp/crypto/objects/pkcs1.h"
#include "tests/vectors/vector_file.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The hex bytes listed under the comment line "# <label>" of the file,
// up to the next blank line.
Bytes Listed(const std::string& text, const std::string& label) {
  std::istringstream lines(text);
  std::string line, hex;
  bool inside = false;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!inside) {
      inside = line.rfind("# " + label, 0) == 0;
      continue;
    }
    if (line.find_first_not_of(" \t") == std::string::npos) break;
    for (char c : line)
      if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
  }
  EXPECT_TRUE(inside) << label;
  return tvtest::FromHex(hex);
}

// Hands out the bytes it was given, as an encoding's random seed.
class FixedSource final : public tv::crypto::RandomSource {
 public:
  explicit FixedSource(Bytes bytes) : bytes_(std::move(bytes)) {}
  bool Fill(std::span<std::uint8_t> out) override {
    if (out.size() > bytes_.size()) return false;
    std::copy_n(bytes_.begin(), out.size(), out.begin());
    return true;
  }

 private:
  Bytes bytes_;
};

struct Example {
  Bytes message, seed, block;  // block: 00 followed by the published EM
};

Example PublishedExample() {
  std::ifstream file(tvtest::VectorPath("asymmetric/RSA/pkcs-1v2-1d2-vec/oaep-int.txt"), std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  Example example{Listed(text.str(), "Message to be encrypted:"), Listed(text.str(), "seed:"), {0x00}};
  const Bytes em = Listed(text.str(), "EM = maskedSeed || maskedDB:");
  example.block.insert(example.block.end(), em.begin(), em.end());
  return example;
}

TEST(OaepBlocksTest, EncodesAndDecodesThePublishedExample) {
  const Example example = PublishedExample();
  ASSERT_EQ(example.block.size(), 128u);
  ASSERT_EQ(example.seed.size(), 20u);
  Bytes block(example.block.size());
  FixedSource seed(example.seed);
  ASSERT_TRUE(tv::csp::EncodeOaepBlock(example.message, block, seed));
  EXPECT_EQ(block, example.block);

  std::span<const std::uint8_t> message;
  ASSERT_TRUE(tv::csp::DecodeOaepBlock(block, message));
  EXPECT_EQ(Bytes(message.begin(), message.end()), example.message);
}

TEST(OaepBlocksTest, MessageLengthsUpToTheLargest) {
  EXPECT_EQ(tv::csp::MaxOaepMessage(128), 86u);
  EXPECT_EQ(tv::csp::MaxOaepMessage(42), 0u);
  EXPECT_EQ(tv::csp::MaxOaepMessage(41), 0u);
  FixedSource seed(Bytes(20, 0x77));
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{86}}) {
    const Bytes sent(size, 0x3C);
    Bytes block(128);
    ASSERT_TRUE(tv::csp::EncodeOaepBlock(sent, block, seed)) << size;
    std::span<const std::uint8_t> message;
    ASSERT_TRUE(tv::csp::DecodeOaepBlock(block, message)) << size;
    EXPECT_EQ(Bytes(message.begin(), message.end()), sent);
  }
  Bytes block(128);
  EXPECT_FALSE(tv::csp::EncodeOaepBlock(Bytes(87), block, seed));
}

// Any altered byte, in the leading zero, the masked seed or the masked
// data block, makes the block refused.
TEST(OaepBlocksTest, EveryAlteredByteIsRefused) {
  const Example example = PublishedExample();
  for (std::size_t at = 0; at < example.block.size(); ++at) {
    Bytes block = example.block;
    block[at] ^= 0x80;
    std::span<const std::uint8_t> message;
    EXPECT_FALSE(tv::csp::DecodeOaepBlock(block, message)) << "byte " << at;
  }
  Bytes tooShort(41);
  std::span<const std::uint8_t> message;
  EXPECT_FALSE(tv::csp::DecodeOaepBlock(tooShort, message));
}

}  // namespace
