// NIST PKCS#1 v1.5 signature generation vectors (CAVS SigGen15 with the
// private exponents given): every signature is the private operation on the
// block 00 01 FF..FF 00 DigestInfo digest, once with d alone and once with
// CRT numbers recovered from n, e and d; the public operation takes each
// signature back to its block.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>

#include "code_path.h"
#include "reference.h"
#include "rsa/rsa.h"
#include "vector_file.h"

namespace {

using tv::crypto::Arithmetic;
using tv::crypto::RsaKey;
using tvtest::Bytes;
using tvtest::Mpi;

struct DigestScheme {
  int algorithm;      // libgcrypt digest
  Bytes digestInfo;   // DER prefix of the digest
};

const std::map<std::string, DigestScheme>& Schemes() {
  static const std::map<std::string, DigestScheme> schemes = {
      {"SHA1", {GCRY_MD_SHA1, tvtest::FromHex("3021300906052b0e03021a05000414")}},
      {"SHA224", {GCRY_MD_SHA224, tvtest::FromHex("302d300d06096086480165030402040500041c")}},
      {"SHA256", {GCRY_MD_SHA256, tvtest::FromHex("3031300d060960864801650304020105000420")}},
      {"SHA384", {GCRY_MD_SHA384, tvtest::FromHex("3041300d060960864801650304020205000430")}},
      {"SHA512", {GCRY_MD_SHA512, tvtest::FromHex("3051300d060960864801650304020305000440")}},
  };
  return schemes;
}

Bytes SignatureBlock(const DigestScheme& scheme, const Bytes& message, std::size_t size) {
  Bytes digest(gcry_md_get_algo_dlen(scheme.algorithm));
  gcry_md_hash_buffer(scheme.algorithm, digest.data(), message.data(), message.size());
  Bytes block(size, 0xFF);
  block[0] = 0x00;
  block[1] = 0x01;
  auto tail = block.end() - static_cast<std::ptrdiff_t>(digest.size() + scheme.digestInfo.size());
  tail[-1] = 0x00;
  tail = std::copy(scheme.digestInfo.begin(), scheme.digestInfo.end(), tail);
  std::copy(digest.begin(), digest.end(), tail);
  return block;
}

Bytes WithoutLeadingZeros(Bytes bytes) {
  bytes.erase(bytes.begin(), std::find_if(bytes.begin(), bytes.end(), [](auto b) { return b != 0; }));
  return bytes;
}

// p with n = p·q, found from a multiple of the group order: d·e - 1 = 2^s·t
// gives a square root of 1 other than ±1 for most bases.
std::optional<Mpi> FactorFromExponents(const Mpi& n, const Mpi& e, const Mpi& d) {
  Mpi t;
  gcry_mpi_mul(t.get(), d.get(), e.get());
  gcry_mpi_sub_ui(t.get(), t.get(), 1);
  unsigned s = 0;
  while (!gcry_mpi_test_bit(t.get(), 0)) {
    gcry_mpi_rshift(t.get(), t.get(), 1);
    ++s;
  }
  Mpi nMinus1;
  gcry_mpi_sub_ui(nMinus1.get(), n.get(), 1);
  for (unsigned long base = 2; base < 100; ++base) {
    Mpi x;
    gcry_mpi_powm(x.get(), Mpi(base).get(), t.get(), n.get());
    for (unsigned i = 0; i < s; ++i) {
      Mpi y;
      gcry_mpi_mulm(y.get(), x.get(), x.get(), n.get());
      if (gcry_mpi_cmp_ui(y.get(), 1) == 0) {
        if (gcry_mpi_cmp_ui(x.get(), 1) != 0 && gcry_mpi_cmp(x.get(), nMinus1.get()) != 0) {
          Mpi p;
          gcry_mpi_sub_ui(x.get(), x.get(), 1);
          gcry_mpi_gcd(p.get(), x.get(), n.get());
          return p;
        }
        break;
      }
      x = std::move(y);
    }
  }
  return std::nullopt;
}

// n, e and d of the vector file, and the same key with its CRT numbers.
struct VectorKeys {
  RsaKey plain;
  RsaKey withCrt;
};

void Set(tv::crypto::BigNum& target, const Mpi& value) {
  target = tvtest::FromBytes(value.ToBytes());
}

void Derive(VectorKeys& keys, const Bytes& n, const Bytes& e, const Bytes& d) {
  const Mpi mn(n), me(e), md(d);
  for (RsaKey* key : {&keys.plain, &keys.withCrt}) {
    Set(key->n, mn);
    Set(key->e, me);
    Set(key->d, md);
  }
  const std::optional<Mpi> p = FactorFromExponents(mn, me, md);
  ASSERT_TRUE(p.has_value());
  Mpi q, pMinus1, qMinus1, dp, dq, qinv;
  gcry_mpi_div(q.get(), nullptr, mn.get(), p->get(), 0);
  gcry_mpi_sub_ui(pMinus1.get(), p->get(), 1);
  gcry_mpi_sub_ui(qMinus1.get(), q.get(), 1);
  gcry_mpi_mod(dp.get(), md.get(), pMinus1.get());
  gcry_mpi_mod(dq.get(), md.get(), qMinus1.get());
  ASSERT_TRUE(gcry_mpi_invm(qinv.get(), q.get(), p->get()));
  Set(keys.withCrt.p, *p);
  Set(keys.withCrt.q, q);
  Set(keys.withCrt.dp, dp);
  Set(keys.withCrt.dq, dq);
  Set(keys.withCrt.qinv, qinv);
}

Bytes PrivateOperation(const RsaKey& key, const Bytes& input) {
  tvtest::SeededRandom random(5);
  Arithmetic ar;
  Bytes out(key.n.ByteLength());
  std::size_t length = 0;
  EXPECT_TRUE(tv::crypto::RsaPrivate(key, input, out, length, ar, random))
      << static_cast<int>(ar.error());
  out.resize(length);
  return out;
}

Bytes PublicOperation(const RsaKey& key, const Bytes& input) {
  Arithmetic ar;
  Bytes out(key.n.ByteLength());
  std::size_t length = 0;
  EXPECT_TRUE(tv::crypto::RsaPublic(key, input, out, length, ar)) << static_cast<int>(ar.error());
  out.resize(length);
  return out;
}

class RsaSigGen15Vectors : public ::testing::TestWithParam<tvtest::CodePath> {
 protected:
  tvtest::CodePathScope path_{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(CodePaths, RsaSigGen15Vectors,
                         ::testing::Values(tvtest::CodePath::Accelerated, tvtest::CodePath::Portable),
                         [](const auto& info) { return tvtest::CodePathName(info.param); });

TEST_P(RsaSigGen15Vectors, PrivateOperationGivesEverySignature) {
  tvtest::InitGcrypt();
  const auto records =
      tvtest::ReadVectorFile(tvtest::VectorPath("asymmetric/RSA/FIPS_186-2/SigGen15_186-2.txt"));
  VectorKeys keys;
  Bytes n;
  int signatures = 0;
  for (const tvtest::VectorRecord& record : records) {
    SCOPED_TRACE("line " + std::to_string(record.line) + " [" + record.section + "]");
    if (record.Has("n")) n = record.Bytes("n");
    if (record.Has("d")) Derive(keys, n, record.Bytes("e"), record.Bytes("d"));
    if (!record.Has("Msg")) continue;
    const auto scheme = Schemes().find(record.Get("SHAAlg"));
    ASSERT_NE(scheme, Schemes().end()) << record.Get("SHAAlg");
    const Bytes block = SignatureBlock(scheme->second, record.Bytes("Msg"), n.size());
    const Bytes expected = WithoutLeadingZeros(record.Bytes("S"));
    EXPECT_EQ(PrivateOperation(keys.plain, block), expected);
    EXPECT_EQ(PrivateOperation(keys.withCrt, block), expected);
    EXPECT_EQ(PublicOperation(keys.plain, record.Bytes("S")), WithoutLeadingZeros(block));
    ++signatures;
  }
  EXPECT_EQ(signatures, 250) << "five moduli with 50 messages each";
}

}  // namespace
