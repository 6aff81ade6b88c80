// Verification against the NIST CAVP PKCS#1 v1.5 SigVer files: every
// passing vector verifies and every failing one (changed message, key,
// signature, or a block with the digest moved or the separator dropped) is
// refused. SHA-224 has no CryptoAPI algorithm and is left out.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "in_process_provider.h"
#include "vector_file.h"

namespace {

using tvtest::Bytes;

ALG_ID HashOf(const std::string& name) {
  static const std::map<std::string, ALG_ID> kHashes = {
      {"SHA1", CALG_SHA1}, {"SHA256", CALG_SHA_256}, {"SHA384", CALG_SHA_384}, {"SHA512", CALG_SHA_512}};
  const auto found = kHashes.find(name);
  return found == kHashes.end() ? 0 : found->second;
}

void Append32(Bytes& blob, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) blob.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A PUBLICKEYBLOB of the big-endian modulus and exponent.
Bytes PublicKeyBlob(const Bytes& modulus, const Bytes& exponent) {
  std::uint32_t e = 0;
  for (std::uint8_t byte : exponent) e = e << 8 | byte;  // the vectors' exponents fit 32 bits
  Bytes blob = {PUBLICKEYBLOB, CUR_BLOB_VERSION, 0, 0};
  Append32(blob, CALG_RSA_SIGN);
  Append32(blob, 0x31415352);  // "RSA1"
  Append32(blob, static_cast<std::uint32_t>(modulus.size() * 8));
  Append32(blob, e);
  const Bytes littleEndian = tvtest::Reversed(modulus);
  blob.insert(blob.end(), littleEndian.begin(), littleEndian.end());
  return blob;
}

class SigVer15Test : public ::testing::TestWithParam<const char*> {};

TEST_P(SigVer15Test, PassingVectorsVerifyAndFailingOnesAreRefused) {
  tvtest::InProcessProvider provider;
  ASSERT_TRUE(provider.ok());
  Bytes modulus;
  int passing = 0, failing = 0;
  for (const tvtest::VectorRecord& record : tvtest::ReadVectorFile(tvtest::VectorPath(GetParam()))) {
    if (record.Has("n")) modulus = record.Bytes("n");
    const ALG_ID hash = HashOf(record.Get("SHAAlg"));
    if (!record.Has("S") || hash == 0) continue;
    const HCRYPTKEY key = provider.Import(PublicKeyBlob(modulus, record.Bytes("e")));
    ASSERT_NE(key, 0u) << "line " << record.line << ": " << std::hex << GetLastError();
    const bool expected = record.Get("Result").rfind("P", 0) == 0;
    const DWORD result =
        provider.Verify(hash, record.Bytes("Msg"), tvtest::Reversed(record.Bytes("S")), key);
    EXPECT_EQ(result, expected ? 0u : static_cast<DWORD>(NTE_BAD_SIGNATURE))
        << "line " << record.line << " (" << record.Get("Result") << ")";
    ++(expected ? passing : failing);
  }
  EXPECT_GT(failing, 0);
  RecordProperty("passing", passing);
  RecordProperty("failing", failing);
}

INSTANTIATE_TEST_SUITE_P(Files, SigVer15Test,
                         ::testing::Values("asymmetric/RSA/FIPS_186-2/SigVer15_186-3.rsp",
                                           "asymmetric/RSA/SigVer15EMTest.txt"));

}  // namespace
