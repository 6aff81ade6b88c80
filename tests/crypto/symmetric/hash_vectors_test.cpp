// Known answers for every hash: the NIST and RFC 1321 files of the vectors
// package, and the RFC 1319/1320 suites for MD2 and MD4, on the accelerated
// and on the portable code.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <tuple>
#include <vector>

#include "code_path.h"
#include "hashing.h"

namespace tvtest {
namespace {

using tv::crypto::HashAlgorithm;
namespace cpu = tv::crypto::cpu;

struct HashFile {
  const HashAlgorithm* algorithm;
  const char* file;              // under VectorsRoot()
  bool (*acceleratedOn)();       // processor test of the accelerated variant; null if none
};

const HashFile kHashFiles[] = {
    {&tv::crypto::kMd5, "hashes/MD5/rfc-1321.txt", nullptr},
    {&tv::crypto::kSha1, "hashes/SHA1/SHA1ShortMsg.rsp", cpu::ProcessorHasShaNi},
    {&tv::crypto::kSha1, "hashes/SHA1/SHA1LongMsg.rsp", cpu::ProcessorHasShaNi},
    {&tv::crypto::kSha256, "hashes/SHA2/SHA256ShortMsg.rsp", cpu::ProcessorHasShaNi},
    {&tv::crypto::kSha256, "hashes/SHA2/SHA256LongMsg.rsp", cpu::ProcessorHasShaNi},
    {&tv::crypto::kSha384, "hashes/SHA2/SHA384ShortMsg.rsp", cpu::ProcessorHasAvx2},
    {&tv::crypto::kSha384, "hashes/SHA2/SHA384LongMsg.rsp", cpu::ProcessorHasAvx2},
    {&tv::crypto::kSha512, "hashes/SHA2/SHA512ShortMsg.rsp", cpu::ProcessorHasAvx2},
    {&tv::crypto::kSha512, "hashes/SHA2/SHA512LongMsg.rsp", cpu::ProcessorHasAvx2},
};

using HashFileParam = std::tuple<HashFile, CodePath>;

// Every file on the portable code, and again on the accelerated code where
// the algorithm has some.
std::vector<HashFileParam> HashFileParams() {
  std::vector<HashFileParam> params;
  for (const HashFile& file : kHashFiles) {
    params.emplace_back(file, CodePath::Portable);
    if (file.acceleratedOn) params.emplace_back(file, CodePath::Accelerated);
  }
  return params;
}

std::string HashFileName(const testing::TestParamInfo<HashFileParam>& info) {
  std::string name = std::get<0>(info.param).file;
  name = name.substr(name.rfind('/') + 1);
  name = name.substr(0, name.find('.'));
  for (char& c : name) {
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name + "_" + CodePathName(std::get<1>(info.param));
}

class HashFileTest : public testing::TestWithParam<HashFileParam> {};

TEST_P(HashFileTest, DigestsMatchEveryRecord) {
  const auto& [file, path] = GetParam();
  if (path == CodePath::Accelerated && !file.acceleratedOn()) GTEST_SKIP() << "processor lacks it";
  CodePathScope scope(path);
  const auto records = ReadVectorFile(VectorPath(file.file));
  ASSERT_FALSE(records.empty());
  for (const VectorRecord& record : records) {
    ASSERT_TRUE(record.Has("Len") && record.Has("Msg") && record.Has("MD")) << file.file << ":" << record.line;
    const std::size_t length = std::stoul(record.Get("Len")) / 8;
    const auto message = record.Bytes("Msg");
    ASSERT_LE(length, message.size()) << file.file << ":" << record.line;
    EXPECT_EQ(DigestHex(*file.algorithm, std::span(message).first(length)), record.Get("MD"))
        << file.file << ":" << record.line;
  }
}

INSTANTIATE_TEST_SUITE_P(VectorFiles, HashFileTest, testing::ValuesIn(HashFileParams()), HashFileName);

struct KnownDigest {
  const HashAlgorithm* algorithm;
  const char* message;
  const char* digest;
};

constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz";
constexpr char kAlphanumeric[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr char kDigits[] =
    "12345678901234567890123456789012345678901234567890123456789012345678901234567890";

const KnownDigest kKnownDigests[] = {
    // RFC 1319
    {&tv::crypto::kMd2, "", "8350e5a3e24c153df2275c9f80692773"},
    {&tv::crypto::kMd2, "a", "32ec01ec4a6dac72c0ab96fb34c0b5d1"},
    {&tv::crypto::kMd2, "abc", "da853b0d3f88d99b30283a69e6ded6bb"},
    {&tv::crypto::kMd2, "message digest", "ab4f496bfb2a530b219ff33031fe06b0"},
    {&tv::crypto::kMd2, kAlphabet, "4e8ddff3650292ab5a4108c3aa47940b"},
    {&tv::crypto::kMd2, kAlphanumeric, "da33def2a42df13975352846c30338cd"},
    {&tv::crypto::kMd2, kDigits, "d5976f79d83d3a0dc9806c3c66f3efd8"},
    // RFC 1320
    {&tv::crypto::kMd4, "", "31d6cfe0d16ae931b73c59d7e0c089c0"},
    {&tv::crypto::kMd4, "a", "bde52cb31de33e46245e05fbdbd6fb24"},
    {&tv::crypto::kMd4, "abc", "a448017aaf21d8525fc10ae87aa6729d"},
    {&tv::crypto::kMd4, "message digest", "d9130a8164549fe818874806e1c7014b"},
    {&tv::crypto::kMd4, kAlphabet, "d79e1c308aa5bbcdeea8ed63df412da9"},
    {&tv::crypto::kMd4, kAlphanumeric, "043f8582f241db351ce627e153e7f0e4"},
    {&tv::crypto::kMd4, kDigits, "e33b4ddc9c38f2199c3e7b164fcc0536"},
    // The SSL3 pair: the RFC 1321 digest, then the FIPS 180 SHA-1 digest.
    {&tv::crypto::kSsl3ShaMd5, "",
     "d41d8cd98f00b204e9800998ecf8427e" "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {&tv::crypto::kSsl3ShaMd5, "abc",
     "900150983cd24fb0d6963f7d28e17f72" "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {&tv::crypto::kSsl3ShaMd5, kDigits,
     "57edf4a22be3c955ac49da2e2107b67a" "50abf5706a150990a08b2c5ea40fa0e585554732"},
};

using KnownDigestParam = std::tuple<KnownDigest, CodePath>;

class KnownDigestTest : public testing::TestWithParam<KnownDigestParam> {};

TEST_P(KnownDigestTest, DigestMatches) {
  const auto& [known, path] = GetParam();
  CodePathScope scope(path);
  EXPECT_EQ(DigestHex(*known.algorithm, AsBytes(known.message)), known.digest)
      << known.algorithm->name << " \"" << known.message << "\"";
}

INSTANTIATE_TEST_SUITE_P(RfcSuites, KnownDigestTest,
                         testing::Combine(testing::ValuesIn(kKnownDigests),
                                          testing::Values(CodePath::Accelerated, CodePath::Portable)));

}  // namespace
}  // namespace tvtest
