// Known answers for every cipher: the NIST AES and triple-DES files and the
// RFC 6229 RC4 files of the vectors package (single DES runs the triple-DES
// files whose three keys are equal, which are the published single-DES
// tables), the RFC 2268 RC2 vectors and the FIPS 81 DES mode examples.
// AES runs on the accelerated and on the portable code.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "ciphering.h"
#include "code_path.h"
#include "vector_file.h"

namespace tvtest {
namespace {

using tv::crypto::CipherAlgorithm;
using tv::crypto::CipherMode;

struct ModeFiles {
  CipherMode mode;
  const char* aesPrefix;   // ciphers/AES/<prefix><kind><bits>.rsp
  const char* tdesPrefix;  // ciphers/3DES/<prefix><kind>.rsp
};

const ModeFiles kModeFiles[] = {
    {CipherMode::Ecb, "ECB/ECB", "ECB/TECB"},
    {CipherMode::Cbc, "CBC/CBC", "CBC/TCBC"},
    {CipherMode::Cfb, "CFB/CFB128", "CFB/TCFB64"},
    {CipherMode::Ofb, "OFB/OFB", "OFB/TOFB"},
};

struct CipherFile {
  std::string path;  // under VectorsRoot()
  CipherMode mode;
};

// Checks both directions of one record: PLAINTEXT encrypts to CIPHERTEXT and
// back, whichever section it is in.
void ExpectRecordBothWays(const CipherAlgorithm& algorithm, const CipherFile& file,
                          const VectorRecord& record, std::span<const std::uint8_t> key,
                          std::uint32_t lengthWord) {
  const auto iv = record.Bytes("IV");
  const auto plaintext = record.Bytes("PLAINTEXT");
  const auto ciphertext = record.Bytes("CIPHERTEXT");
  ASSERT_FALSE(plaintext.empty()) << file.path << ":" << record.line;
  EXPECT_EQ(CryptFresh(algorithm, key, lengthWord, iv, Direction::Encrypt, file.mode, plaintext), ciphertext)
      << algorithm.name << " " << file.path << ":" << record.line;
  EXPECT_EQ(CryptFresh(algorithm, key, lengthWord, iv, Direction::Decrypt, file.mode, ciphertext), plaintext)
      << algorithm.name << " " << file.path << ":" << record.line;
}

std::string FileName(const CipherFile& file) {
  std::string name = file.path.substr(file.path.rfind('/') + 1);
  name = name.substr(0, name.find('.'));
  for (char& c : name) {
    if (c == '-') c = '_';
  }
  return name;
}

// --- AES ---

using AesParam = std::tuple<CipherFile, CodePath>;

std::vector<AesParam> AesParams() {
  std::vector<AesParam> params;
  for (const ModeFiles& mode : kModeFiles) {
    for (const char* kind : {"GFSbox", "KeySbox", "VarKey", "VarTxt", "MMT"}) {
      for (const char* bits : {"128", "192", "256"}) {
        const CipherFile file{std::string("ciphers/AES/") + mode.aesPrefix + kind + bits + ".rsp", mode.mode};
        params.emplace_back(file, CodePath::Accelerated);
        params.emplace_back(file, CodePath::Portable);
      }
    }
  }
  return params;
}

class AesFileTest : public testing::TestWithParam<AesParam> {};

TEST_P(AesFileTest, EveryRecordBothWays) {
  const auto& [file, path] = GetParam();
  if (path == CodePath::Accelerated && !tv::crypto::cpu::ProcessorHasAesNi()) {
    GTEST_SKIP() << "processor lacks AES-NI";
  }
  CodePathScope scope(path);
  const auto records = ReadVectorFile(VectorPath(file.path));
  ASSERT_FALSE(records.empty());
  for (const VectorRecord& record : records) {
    const auto key = record.Bytes("KEY");
    ExpectRecordBothWays(tv::crypto::kAes, file, record, key, static_cast<std::uint32_t>(8 * key.size()));
  }
}

INSTANTIATE_TEST_SUITE_P(VectorFiles, AesFileTest, testing::ValuesIn(AesParams()),
                         [](const testing::TestParamInfo<AesParam>& info) {
                           return FileName(std::get<0>(info.param)) + "_" +
                                  CodePathName(std::get<1>(info.param));
                         });

// --- Triple DES, and single DES where the three keys are equal ---

std::vector<CipherFile> TripleDesFiles() {
  std::vector<CipherFile> files;
  for (const ModeFiles& mode : kModeFiles) {
    for (const char* kind : {"MMT1", "MMT2", "MMT3", "invperm", "permop", "subtab", "varkey", "vartext"}) {
      files.push_back({std::string("ciphers/3DES/") + mode.tdesPrefix + kind + ".rsp", mode.mode});
    }
  }
  return files;
}

class TripleDesFileTest : public testing::TestWithParam<CipherFile> {};

TEST_P(TripleDesFileTest, EveryRecordBothWays) {
  const CipherFile& file = GetParam();
  const auto records = ReadVectorFile(VectorPath(file.path));
  ASSERT_FALSE(records.empty());
  for (const VectorRecord& record : records) {
    // "KEYs" is one key used three times; otherwise KEY1, KEY2, KEY3, where
    // KEY3 = KEY1 is the two-key form.
    const auto k1 = record.Bytes(record.Has("KEYs") ? "KEYs" : "KEY1");
    const auto k2 = record.Has("KEYs") ? k1 : record.Bytes("KEY2");
    const auto k3 = record.Has("KEYs") ? k1 : record.Bytes("KEY3");
    std::vector<std::uint8_t> key = k1;
    key.insert(key.end(), k2.begin(), k2.end());
    if (k3 != k1) key.insert(key.end(), k3.begin(), k3.end());
    ExpectRecordBothWays(tv::crypto::kTripleDes, file, record, key,
                         static_cast<std::uint32_t>(8 * key.size()));
    if (k1 == k2 && k2 == k3) ExpectRecordBothWays(tv::crypto::kDes, file, record, k1, 64);
  }
}

INSTANTIATE_TEST_SUITE_P(VectorFiles, TripleDesFileTest, testing::ValuesIn(TripleDesFiles()),
                         [](const testing::TestParamInfo<CipherFile>& info) { return FileName(info.param); });

// --- RC4 ---

class Rc4FileTest : public testing::TestWithParam<const char*> {};

TEST_P(Rc4FileTest, KeyStreamAtEveryOffset) {
  const std::string path = std::string("ciphers/ARC4/") + GetParam();
  const auto records = ReadVectorFile(VectorPath(path));
  ASSERT_FALSE(records.empty());
  for (const VectorRecord& record : records) {
    const auto key = record.Bytes("KEY");
    tv::crypto::WipingBuffer state =
        SetUpCipher(tv::crypto::kRc4, key, static_cast<std::uint32_t>(8 * key.size()));
    // The stream carries on from the discarded bytes into the checked ones.
    Crypt(tv::crypto::kRc4, state, Direction::Encrypt, CipherMode::Ecb,
        std::vector<std::uint8_t>(std::stoul(record.Get("OFFSET"))));
    EXPECT_EQ(Crypt(tv::crypto::kRc4, state, Direction::Encrypt, CipherMode::Ecb, record.Bytes("PLAINTEXT")),
              record.Bytes("CIPHERTEXT"))
        << path << ":" << record.line;
  }
}

INSTANTIATE_TEST_SUITE_P(VectorFiles, Rc4FileTest,
                         testing::Values("rfc-6229-40.txt", "rfc-6229-56.txt", "rfc-6229-64.txt",
                                         "rfc-6229-80.txt", "rfc-6229-128.txt", "rfc-6229-192.txt",
                                         "rfc-6229-256.txt", "arc4.txt"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           name = name.substr(0, name.find('.'));
                           for (char& c : name) {
                             if (c == '-') c = '_';
                           }
                           return name;
                         });

// --- Tables from the standards ---

struct KnownBlock {
  const CipherAlgorithm* algorithm;
  const char* key;
  std::uint32_t lengthWord;
  CipherMode mode;
  const char* iv;
  const char* plaintext;
  const char* ciphertext;
};

// RC2: the length word carries the key byte count in its upper half and the
// effective key bits in its lower half.
constexpr std::uint32_t Rc2Length(std::uint32_t keyBytes, std::uint32_t effectiveBits) {
  return keyBytes << 16 | effectiveBits;
}

// "Now is the time for all " under the FIPS 81 key and IV.
constexpr char kFips81Key[] = "0123456789abcdef";
constexpr char kFips81Iv[] = "1234567890abcdef";
constexpr char kFips81Text[] = "4e6f77206973207468652074696d6520666f7220616c6c20";

const KnownBlock kKnownBlocks[] = {
    // RFC 2268 section 5
    {&tv::crypto::kRc2, "0000000000000000", Rc2Length(8, 63), CipherMode::Ecb, "", "0000000000000000",
     "ebb773f993278eff"},
    {&tv::crypto::kRc2, "ffffffffffffffff", Rc2Length(8, 64), CipherMode::Ecb, "", "ffffffffffffffff",
     "278b27e42e2f0d49"},
    {&tv::crypto::kRc2, "3000000000000000", Rc2Length(8, 64), CipherMode::Ecb, "", "1000000000000001",
     "30649edf9be7d2c2"},
    {&tv::crypto::kRc2, "88", Rc2Length(1, 64), CipherMode::Ecb, "", "0000000000000000", "61a8a244adacccf0"},
    {&tv::crypto::kRc2, "88bca90e90875a", Rc2Length(7, 64), CipherMode::Ecb, "", "0000000000000000",
     "6ccf4308974c267f"},
    {&tv::crypto::kRc2, "88bca90e90875a7f0f79c384627bafb2", Rc2Length(16, 64), CipherMode::Ecb, "",
     "0000000000000000", "1a807d272bbe5db1"},
    {&tv::crypto::kRc2, "88bca90e90875a7f0f79c384627bafb2", Rc2Length(16, 128), CipherMode::Ecb, "",
     "0000000000000000", "2269552ab0f85ca6"},
    {&tv::crypto::kRc2, "88bca90e90875a7f0f79c384627bafb216f80a6f85920584c42fceb0be255daf1e",
     Rc2Length(33, 129), CipherMode::Ecb, "", "0000000000000000", "5b78d3a43dfff1f1"},
    // FIPS 81 appendices B to E, and the classic single-block example.
    {&tv::crypto::kDes, kFips81Key, 64, CipherMode::Ecb, "", kFips81Text,
     "3fa40e8a984d48156a271787ab8883f9893d51ec4b563b53"},
    {&tv::crypto::kDes, kFips81Key, 64, CipherMode::Cbc, kFips81Iv, kFips81Text,
     "e5c7cdde872bf27c43e934008c389c0f683788499a7c05f6"},
    {&tv::crypto::kDes, kFips81Key, 64, CipherMode::Cfb, kFips81Iv, kFips81Text,
     "f3096249c7f46e51a69e839b1a92f78403467133898ea622"},
    {&tv::crypto::kDes, kFips81Key, 64, CipherMode::Ofb, kFips81Iv, kFips81Text,
     "f3096249c7f46e5135f24a242eeb3d3f3d6d5be3255af8c3"},
    {&tv::crypto::kDes, "133457799bbcdff1", 64, CipherMode::Ecb, "", "0123456789abcdef", "85e813540f0ab405"},
};

class KnownBlockTest : public testing::TestWithParam<KnownBlock> {};

TEST_P(KnownBlockTest, BothWays) {
  const KnownBlock& known = GetParam();
  const auto key = FromHex(known.key);
  const auto iv = FromHex(known.iv);
  const auto plaintext = FromHex(known.plaintext);
  const auto ciphertext = FromHex(known.ciphertext);
  EXPECT_EQ(CryptFresh(*known.algorithm, key, known.lengthWord, iv, Direction::Encrypt, known.mode, plaintext),
            ciphertext);
  EXPECT_EQ(CryptFresh(*known.algorithm, key, known.lengthWord, iv, Direction::Decrypt, known.mode, ciphertext),
            plaintext);
}

INSTANTIATE_TEST_SUITE_P(Standards, KnownBlockTest, testing::ValuesIn(kKnownBlocks));

}  // namespace
}  // namespace tvtest
