// What the cipher states promise beyond the known answers: set-up refuses
// what it cannot use without touching the state, the length word rules, the
// feedback register (or RC4's stream) carried across calls, byte copies of
// a running state, and refusals of partial blocks and unknown modes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "ciphering.h"
#include "code_path.h"
#include "test_message.h"
#include "vector_file.h"

namespace tvtest {
namespace {

using tv::crypto::CipherAlgorithm;
using tv::crypto::CipherMode;
using tv::crypto::WipingBuffer;

constexpr std::uint32_t Rc2Length(std::uint32_t keyBytes, std::uint32_t effectiveBits) {
  return keyBytes << 16 | effectiveBits;
}

// --- Set-up refusals ---

struct SetupCase {
  const char* what;
  const CipherAlgorithm* algorithm;
  std::size_t keyBytes;
  std::uint32_t lengthWord;
  std::size_t ivBytes;
  bool accepted;
};

const SetupCase kSetupCases[] = {
    {"DES with a 56-bit length", &tv::crypto::kDes, 8, 56, 0, false},
    {"DES with 7 key bytes", &tv::crypto::kDes, 7, 64, 0, false},
    {"DES with a 7-byte IV", &tv::crypto::kDes, 8, 64, 7, false},
    {"DES with a full IV", &tv::crypto::kDes, 8, 64, 8, true},
    {"3DES with a 168-bit length", &tv::crypto::kTripleDes, 24, 168, 0, false},
    {"3DES of 192 bits with 16 key bytes", &tv::crypto::kTripleDes, 16, 192, 0, false},
    {"3DES of 128 bits with 16 key bytes", &tv::crypto::kTripleDes, 16, 128, 0, true},
    {"AES with a 160-bit length", &tv::crypto::kAes, 20, 160, 0, false},
    {"AES-256 with 24 key bytes", &tv::crypto::kAes, 24, 256, 0, false},
    {"AES with an 8-byte IV", &tv::crypto::kAes, 16, 128, 8, false},
    {"AES-192", &tv::crypto::kAes, 24, 192, 16, true},
    {"RC2 with no key length at all", &tv::crypto::kRc2, 16, 0, 0, false},
    {"RC2 whose byte count exceeds the key", &tv::crypto::kRc2, 5, Rc2Length(16, 40), 0, false},
    {"RC2 whose bit count exceeds the key", &tv::crypto::kRc2, 5, 64, 0, false},
    {"RC2 with 1024 effective bits over a 128-byte key", &tv::crypto::kRc2, 128, 1024, 0, true},
    {"RC2 with one key byte", &tv::crypto::kRc2, 1, 8, 0, true},
    {"RC4 with no key length", &tv::crypto::kRc4, 16, 0, 0, false},
    {"RC4 with fewer key bytes than bits", &tv::crypto::kRc4, 4, 40, 0, false},
    {"RC4 with an IV", &tv::crypto::kRc4, 16, 128, 8, false},
    {"RC4 with a 257-byte key", &tv::crypto::kRc4, 257, 257 * 8, 0, false},
    {"RC4 with a 256-byte key", &tv::crypto::kRc4, 256, 256 * 8, 0, true},
    {"RC4 with a 1-bit key", &tv::crypto::kRc4, 1, 1, 0, true},
};

class CipherSetupTest : public testing::TestWithParam<SetupCase> {};

TEST_P(CipherSetupTest, AcceptsOrRefusesWithoutTouchingTheState) {
  const SetupCase& c = GetParam();
  const std::vector<std::uint8_t> key = TestMessage(c.keyBytes);
  const std::vector<std::uint8_t> iv(c.ivBytes, 0x11);
  std::vector<std::uint8_t> state(c.algorithm->stateSize, 0xa5);
  EXPECT_EQ(c.algorithm->setup(state.data(), key, c.lengthWord, iv), c.accepted) << c.what;
  if (!c.accepted) {
    EXPECT_TRUE(std::all_of(state.begin(), state.end(), [](std::uint8_t b) { return b == 0xa5; })) << c.what;
  }
}

INSTANTIATE_TEST_SUITE_P(Rules, CipherSetupTest, testing::ValuesIn(kSetupCases));

// --- Set-ups that must or must not give the same cipher ---

struct SetupPair {
  const char* what;
  const CipherAlgorithm* algorithm;
  CipherMode mode;
  const char* keyA;
  std::uint32_t lengthA;
  const char* ivA;
  const char* keyB;
  std::uint32_t lengthB;
  const char* ivB;
  bool same;
};

constexpr char kKey16[] = "88bca90e90875a7f0f79c384627bafb2";
constexpr char kKey16OtherSalt[] = "88bca90e90875a7f0f79c384627bafb3";
constexpr char kKey8[] = "0123456789abcdef";

const SetupPair kSetupPairs[] = {
    {"RC2: 0 effective bits count as 1024", &tv::crypto::kRc2, CipherMode::Ecb, kKey16, Rc2Length(16, 0), "",
     kKey16, Rc2Length(16, 1024), "", true},
    {"RC2: effective bits above 1024 count as 1024", &tv::crypto::kRc2, CipherMode::Ecb, kKey16,
     Rc2Length(16, 2000), "", kKey16, Rc2Length(16, 1024), "", true},
    {"RC2: without an upper half the bits round up to bytes", &tv::crypto::kRc2, CipherMode::Ecb, kKey8, 61,
     "", kKey8, Rc2Length(8, 61), "", true},
    {"RC2: without an upper half only those bytes are read", &tv::crypto::kRc2, CipherMode::Ecb, kKey16, 40,
     "", "88bca90e90", 40, "", true},
    {"RC2: the upper half brings the salt bytes in", &tv::crypto::kRc2, CipherMode::Ecb, kKey16,
     Rc2Length(16, 40), "", kKey16OtherSalt, Rc2Length(16, 40), "", false},
    {"3DES: a 128-bit key is a 192-bit key with K3 = K1", &tv::crypto::kTripleDes, CipherMode::Cbc,
     "0123456789abcdeffedcba9876543210", 128, "", "0123456789abcdeffedcba98765432100123456789abcdef", 192, "",
     true},
    {"DES: parity bits are ignored", &tv::crypto::kDes, CipherMode::Ecb, kKey8, 64, "", "0022446688aaccee", 64,
     "", true},
    {"RC4: only the key length's bytes are read", &tv::crypto::kRc4, CipherMode::Ecb, kKey16, 40, "",
     "88bca90e90", 40, "", true},
    {"DES: no IV is a zero register", &tv::crypto::kDes, CipherMode::Cbc, kKey8, 64, "", kKey8, 64,
     "0000000000000000", true},
    {"AES: no IV is a zero register", &tv::crypto::kAes, CipherMode::Cfb, kKey16, 128, "", kKey16, 128,
     "00000000000000000000000000000000", true},
    {"RC2: no IV is a zero register", &tv::crypto::kRc2, CipherMode::Ofb, kKey16, 128, "", kKey16, 128,
     "0000000000000000", true},
};

class CipherSetupPairTest : public testing::TestWithParam<SetupPair> {};

TEST_P(CipherSetupPairTest, GiveTheSameCipherOrNot) {
  const SetupPair& c = GetParam();
  const std::vector<std::uint8_t> message = TestMessage(64);
  const auto a = CryptFresh(*c.algorithm, FromHex(c.keyA), c.lengthA, FromHex(c.ivA), Direction::Encrypt,
                          c.mode, message);
  const auto b = CryptFresh(*c.algorithm, FromHex(c.keyB), c.lengthB, FromHex(c.ivB), Direction::Encrypt,
                          c.mode, message);
  EXPECT_EQ(a == b, c.same) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Rules, CipherSetupPairTest, testing::ValuesIn(kSetupPairs));

// --- Running states ---

struct CipherCase {
  const CipherAlgorithm* algorithm;
  const char* key;
  std::uint32_t lengthWord;
  bool (*acceleratedOn)();  // processor test of an accelerated variant; null if none
};

const CipherCase kCiphers[] = {
    {&tv::crypto::kDes, kKey8, 64, nullptr},
    {&tv::crypto::kTripleDes, "0123456789abcdeffedcba98765432100f1e2d3c4b5a6978", 192, nullptr},
    {&tv::crypto::kRc2, kKey16, Rc2Length(16, 128), nullptr},
    {&tv::crypto::kAes, "000102030405060708090a0b0c0d0e0f1011121314151617", 192, tv::crypto::cpu::ProcessorHasAesNi},
    {&tv::crypto::kRc4, kKey16, 128, nullptr},
};

const CipherMode kModes[] = {CipherMode::Ecb, CipherMode::Cbc, CipherMode::Cfb, CipherMode::Ofb};

using RunningParam = std::tuple<CipherCase, CipherMode, CodePath>;

std::vector<RunningParam> RunningParams() {
  std::vector<RunningParam> params;
  for (const CipherCase& cipher : kCiphers) {
    for (CipherMode mode : kModes) {
      // The stream cipher ignores the mode: one is enough.
      if (cipher.algorithm->blockSize == 0 && mode != CipherMode::Ecb) continue;
      params.emplace_back(cipher, mode, CodePath::Portable);
      if (cipher.acceleratedOn) params.emplace_back(cipher, mode, CodePath::Accelerated);
    }
  }
  return params;
}

std::string RunningName(const testing::TestParamInfo<RunningParam>& info) {
  static const char* const kModeNames[] = {"Ecb", "Cbc", "Cfb", "Ofb"};
  const auto& [cipher, mode, path] = info.param;
  std::string name = std::string(cipher.algorithm->name) + "_" + kModeNames[static_cast<int>(mode)] + "_" +
                     CodePathName(path);
  return name.substr(0, 1) == "3" ? "Triple" + name.substr(1) : name;
}

class RunningCipherTest : public testing::TestWithParam<RunningParam> {
 protected:
  const CipherAlgorithm& Algorithm() const { return *Cipher().algorithm; }
  CipherMode Mode() const { return std::get<1>(GetParam()); }
  // Whole blocks, or for the stream cipher 5 bytes, so that pieces end
  // inside its 8-byte steps.
  std::size_t Unit() const { return Algorithm().blockSize != 0 ? Algorithm().blockSize : 5; }

  WipingBuffer Fresh() const {
    const auto key = FromHex(Cipher().key);
    const std::vector<std::uint8_t> iv(Algorithm().blockSize, 0x5c);
    return SetUpCipher(Algorithm(), key, Cipher().lengthWord, iv);
  }

  // The message in pieces of the given numbers of units through one state.
  std::vector<std::uint8_t> InPieces(WipingBuffer& state, Direction direction, std::vector<std::uint8_t> data,
                                     std::initializer_list<std::size_t> units) const {
    std::span<std::uint8_t> rest(data);
    for (std::size_t count : units) {
      const auto operation = direction == Direction::Encrypt ? Algorithm().encrypt : Algorithm().decrypt;
      EXPECT_TRUE(operation(state.Data(), rest.first(count * Unit()), Mode()));
      rest = rest.subspan(count * Unit());
    }
    return data;
  }

  const std::vector<std::uint8_t> message_ = TestMessage(7 * Unit());

 private:
  const CipherCase& Cipher() const { return std::get<0>(GetParam()); }
  CodePathScope scope_{std::get<2>(GetParam())};
};

TEST_P(RunningCipherTest, PiecesCarryTheRegisterAcrossCalls) {
  WipingBuffer whole = Fresh();
  const auto ciphertext = Crypt(Algorithm(), whole, Direction::Encrypt, Mode(), message_);
  WipingBuffer encrypting = Fresh();
  EXPECT_EQ(InPieces(encrypting, Direction::Encrypt, message_, {1, 3, 0, 2, 1}), ciphertext);
  WipingBuffer decrypting = Fresh();
  EXPECT_EQ(InPieces(decrypting, Direction::Decrypt, ciphertext, {2, 1, 4}), message_);
}

TEST_P(RunningCipherTest, ByteCopyContinuesTheChain) {
  WipingBuffer whole = Fresh();
  const auto ciphertext = Crypt(Algorithm(), whole, Direction::Encrypt, Mode(), message_);
  WipingBuffer original = Fresh();
  const auto head = InPieces(original, Direction::Encrypt, message_, {3});
  WipingBuffer copy(original.Size());
  std::memcpy(copy.Data(), original.Data(), original.Size());
  const std::vector<std::uint8_t> tail(message_.begin() + 3 * Unit(), message_.end());
  const std::vector<std::uint8_t> expectedTail(ciphertext.begin() + 3 * Unit(), ciphertext.end());
  EXPECT_EQ(Crypt(Algorithm(), copy, Direction::Encrypt, Mode(), tail), expectedTail);
  EXPECT_EQ(Crypt(Algorithm(), original, Direction::Encrypt, Mode(), tail), expectedTail);
}

TEST_P(RunningCipherTest, RefusedDataIsLeftUnchanged) {
  if (Algorithm().blockSize == 0) {
    // The stream cipher takes any length and ignores the mode.
    WipingBuffer state = Fresh();
    std::vector<std::uint8_t> data(5, 0);
    EXPECT_TRUE(Algorithm().encrypt(state.Data(), data, static_cast<CipherMode>(9)));
    EXPECT_NE(data, std::vector<std::uint8_t>(5, 0));
    return;
  }
  for (const auto& [length, mode] : {std::pair{Unit() + 1, Mode()}, std::pair{Unit() - 1, Mode()},
                                     std::pair{2 * Unit(), static_cast<CipherMode>(4)}}) {
    WipingBuffer state = Fresh();
    std::vector<std::uint8_t> data(message_.begin(), message_.begin() + length);
    EXPECT_FALSE(Algorithm().encrypt(state.Data(), data, mode)) << length;
    EXPECT_FALSE(Algorithm().decrypt(state.Data(), data, mode)) << length;
    EXPECT_TRUE(std::equal(data.begin(), data.end(), message_.begin())) << length;
  }
}

INSTANTIATE_TEST_SUITE_P(AllCiphers, RunningCipherTest, testing::ValuesIn(RunningParams()), RunningName);

// ECB does not use the register, so a chained mode after it starts from the IV.
TEST(CipherRegisterTest, EcbLeavesTheRegisterAlone) {
  for (CodePath path : {CodePath::Accelerated, CodePath::Portable}) {
    CodePathScope scope(path);
    for (const CipherCase& cipher : kCiphers) {
      const CipherAlgorithm& algorithm = *cipher.algorithm;
      if (algorithm.blockSize == 0) continue;
      const auto key = FromHex(cipher.key);
      const std::vector<std::uint8_t> iv(algorithm.blockSize, 0x5c);
      const std::vector<std::uint8_t> message = TestMessage(8 * algorithm.blockSize);
      WipingBuffer state = SetUpCipher(algorithm, key, cipher.lengthWord, iv);
      Crypt(algorithm, state, Direction::Encrypt, CipherMode::Ecb, message);
      EXPECT_EQ(Crypt(algorithm, state, Direction::Encrypt, CipherMode::Cbc, message),
                CryptFresh(algorithm, key, cipher.lengthWord, iv, Direction::Encrypt, CipherMode::Cbc, message))
          << algorithm.name << " " << CodePathName(path);
    }
  }
}

// The accelerated and portable AES share one state layout, so a message may
// start on one and finish on the other.
TEST(CipherCodePathTest, AesChainSurvivesAChangeOfCodePath) {
  if (!tv::crypto::cpu::ProcessorHasAesNi()) GTEST_SKIP() << "processor lacks AES-NI";
  const auto key = FromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
  const std::vector<std::uint8_t> iv(16, 0x33);
  const std::vector<std::uint8_t> message = TestMessage(16 * 9);
  for (CipherMode mode : kModes) {
    for (Direction direction : {Direction::Encrypt, Direction::Decrypt}) {
      const auto expected = CryptFresh(tv::crypto::kAes, key, 256, iv, direction, mode, message);
      WipingBuffer state = SetUpCipher(tv::crypto::kAes, key, 256, iv);
      std::vector<std::uint8_t> data = message;
      const auto operation = direction == Direction::Encrypt ? tv::crypto::kAes.encrypt : tv::crypto::kAes.decrypt;
      {
        CodePathScope accelerated(CodePath::Accelerated);
        ASSERT_TRUE(operation(state.Data(), std::span(data).first(16 * 5), mode));
      }
      CodePathScope portable(CodePath::Portable);
      ASSERT_TRUE(operation(state.Data(), std::span(data).subspan(16 * 5), mode));
      EXPECT_EQ(data, expected) << static_cast<int>(mode);
    }
  }
}

}  // namespace
}  // namespace tvtest
