// Signatures through the provider's own entries, in-process: the block a
// signature opens to, which blocks verification accepts (exactly the two
// well-formed ones, nothing a lax parser would take), the entry rules, and
// reloading the container when the Key was removed.
#include <gtest/gtest.h>

#include <string>

#include "csp/crypto/bignum/bignum.h"
#include "csp/front/cp_entries.h"
#include "csp/front/object_handles.h"
#include "in_process_provider.h"
#include "memory_container.h"
#include "vector_file.h"

namespace {

using tvtest::Bytes;
using tvtest::FromHex;
using tvtest::Reversed;

const Bytes kMessage = {'s', 'i', 'g', 'n', ' ', 'm', 'e'};

// DigestInfo headers as RFC 8017 lists them, written out independently of
// the provider's table.
const Bytes kMd4Header = FromHex("3020300c06082a864886f70d020405000410");
const Bytes kMd5Header = FromHex("3020300c06082a864886f70d020505000410");
const Bytes kSha1Header = FromHex("3021300906052b0e03021a05000414");
const Bytes kSha256Header = FromHex("3031300d060960864801650304020105000420");
const Bytes kSha512Header = FromHex("3051300d060960864801650304020305000440");

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Repeat(std::uint8_t byte, std::size_t count) { return Bytes(count, byte); }

// 00 01 FF.. 00 header hash, `size` bytes.
Bytes WellFormedBlock(std::size_t size, const Bytes& header, const Bytes& hash) {
  return Cat({{0x00, 0x01}, Repeat(0xFF, size - 3 - header.size() - hash.size()), {0x00}, header, hash});
}

class SignatureTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    provider_ = new tvtest::InProcessProvider;
    signaturePair_ = provider_->GenKey(AT_SIGNATURE, 1024 << 16);
    exchangePair_ = provider_->GenKey(AT_KEYEXCHANGE, 1024 << 16);
  }
  static void TearDownTestSuite() { delete provider_; }
  void SetUp() override { ASSERT_TRUE(provider_->ok() && signaturePair_ && exchangePair_); }

  // A signature of `block` made with the signature pair's private exponent
  // directly: what the key holder could sign, to see what verification does
  // with it.
  static Bytes SignRawBlock(const Bytes& block) {
    return Reversed(tvtest::RawPrivate(tvtest::RsaNumbers(signaturePair_), block, 128));
  }

  static tvtest::InProcessProvider* provider_;
  static HCRYPTKEY signaturePair_;
  static HCRYPTKEY exchangePair_;
};

tvtest::InProcessProvider* SignatureTest::provider_ = nullptr;
HCRYPTKEY SignatureTest::signaturePair_ = 0;
HCRYPTKEY SignatureTest::exchangePair_ = 0;

TEST_F(SignatureTest, SignatureOpensToThePaddedDigest) {
  const struct {
    ALG_ID hash;
    DWORD flags;
    Bytes header;
  } cases[] = {
      {CALG_MD5, 0, kMd5Header},  // 91 FF bytes
      {CALG_MD5, CRYPT_NOHASHOID, {}},  // 109 FF bytes
      {CALG_SHA1, 0, kSha1Header},
      {CALG_SHA_256, 0, kSha256Header},
      {CALG_SHA_512, 0, kSha512Header},
      {CALG_SSL3_SHAMD5, 0, {}},  // no algorithm identifier exists
  };
  for (const auto& c : cases) {
    const Bytes signature = provider_->Sign(c.hash, kMessage, AT_SIGNATURE, c.flags);
    ASSERT_EQ(signature.size(), 128u) << std::hex << c.hash << " " << GetLastError();
    const Bytes block = tvtest::RawPublic(tvtest::RsaNumbers(signaturePair_), Reversed(signature), 128);
    EXPECT_EQ(block, WellFormedBlock(128, c.header, tvtest::Digest(c.hash, kMessage)))
        << std::hex << c.hash << " flags " << c.flags;
  }
}

TEST_F(SignatureTest, BothFormsVerifyUnlessTheBareFormIsAskedFor) {
  const struct {
    DWORD signFlags;
    DWORD verifyFlags;
    bool valid;
  } cases[] = {
      {0, 0, true},
      {CRYPT_NOHASHOID, 0, true},
      {CRYPT_NOHASHOID, CRYPT_NOHASHOID, true},
      {0, CRYPT_NOHASHOID, false},
  };
  for (const auto& c : cases) {
    const Bytes signature = provider_->Sign(CALG_SHA1, kMessage, AT_SIGNATURE, c.signFlags);
    ASSERT_FALSE(signature.empty());
    EXPECT_EQ(provider_->Verify(CALG_SHA1, kMessage, signature, signaturePair_, c.verifyFlags),
              c.valid ? 0u : static_cast<DWORD>(NTE_BAD_SIGNATURE))
        << "signed with " << c.signFlags << ", verified with " << c.verifyFlags;
  }
}

// Blocks the key holder signed that are not a signature block of the
// message's MD5 digest. A verifier that checks only "01 FF, a zero
// somewhere, then the digest" (after an identifier it does not compare)
// takes several of them.
TEST_F(SignatureTest, OnlyTheExactBlockVerifies) {
  const Bytes hash = tvtest::Digest(CALG_MD5, kMessage);
  const Bytes other = tvtest::Digest(CALG_MD5, {'x'});
  const Bytes valid = WellFormedBlock(128, kMd5Header, hash);
  Bytes notFf = valid;
  notFf[40] = 0xFE;
  Bytes innerLengthLies = valid;
  innerLengthLies[128 - 16 - 18 + 3] = 0x0d;  // the AlgorithmIdentifier's length
  const struct {
    const char* name;
    Bytes block;
  } cases[] = {
      {"padding byte not FF", notFf},
      {"seven FF, other bytes up to the zero", Cat({{0x00, 0x01}, Repeat(0xFF, 7), Repeat(0xAB, 84), {0x00}, kMd5Header, hash})},
      {"digest not at the end", Cat({{0x00, 0x01}, Repeat(0xFF, 8), {0x00}, kMd5Header, hash, Repeat(0x55, 83)})},
      {"bare digest not at the end", Cat({{0x00, 0x01}, Repeat(0xFF, 8), {0x00}, hash, Repeat(0x55, 101)})},
      {"another hash's identifier", WellFormedBlock(128, kMd4Header, hash)},
      {"identifier with a wrong inner length", innerLengthLies},
      {"another digest", WellFormedBlock(128, kMd5Header, other)},
      {"block type 2", Cat({{0x00, 0x02}, Bytes(valid.begin() + 2, valid.end())})},
      {"no zero after the padding", Cat({{0x00, 0x01}, Repeat(0xFF, 126)})},
      {"leading byte not zero", Cat({{0x01}, Bytes(valid.begin() + 1, valid.end())})},
  };
  ASSERT_EQ(provider_->Verify(CALG_MD5, kMessage, SignRawBlock(valid), signaturePair_), 0u);
  for (const auto& c : cases) {
    ASSERT_EQ(c.block.size(), 128u) << c.name;
    const Bytes signature = SignRawBlock(c.block);
    for (DWORD flags : {0ul, static_cast<unsigned long>(CRYPT_NOHASHOID)})
      EXPECT_EQ(provider_->Verify(CALG_MD5, kMessage, signature, signaturePair_, flags),
                static_cast<DWORD>(NTE_BAD_SIGNATURE))
          << c.name << " flags " << flags;
  }
}

TEST_F(SignatureTest, SignatureIsOneNumberOfKBytesBelowTheModulus) {
  const Bytes signature = provider_->Sign(CALG_SHA1, kMessage, AT_SIGNATURE);
  ASSERT_EQ(signature.size(), 128u);
  Bytes longer = signature;
  longer.push_back(0);  // the same number in k + 1 bytes
  const Bytes shorter(signature.begin(), signature.end() - 1);
  for (const Bytes& changed : {longer, shorter})
    EXPECT_EQ(provider_->Verify(CALG_SHA1, kMessage, changed, signaturePair_), static_cast<DWORD>(NTE_BAD_SIGNATURE))
        << changed.size() << " bytes";
  EXPECT_EQ(provider_->Verify(CALG_SHA1, kMessage, signature, exchangePair_), static_cast<DWORD>(NTE_BAD_SIGNATURE))
      << "the other pair's public key";

  // s + n opens to the same block modulo n; with a 1016-bit modulus in a
  // 1024-bit key it still fits k bytes.
  tvtest::InProcessProvider own;
  const HCRYPTKEY shortModulus = own.GenKey(AT_SIGNATURE, 1016 << 16);
  ASSERT_NE(shortModulus, 0u);
  tv::csp::KeyFromHandle(shortModulus)->rsa.keyLength = 1024;
  own.context().signatureKey->rsa.keyLength = 1024;
  const Bytes valid = own.Sign(CALG_SHA1, kMessage, AT_SIGNATURE);
  ASSERT_EQ(valid.size(), 128u);
  ASSERT_EQ(own.Verify(CALG_SHA1, kMessage, valid, shortModulus), 0u);
  tv::crypto::Arithmetic ar;
  tv::crypto::BigNum s, sum;
  ASSERT_TRUE(s.SetBytes(Reversed(valid), ar) && tv::crypto::Add(sum, s, tvtest::RsaNumbers(shortModulus).n, ar));
  Bytes plusModulus(128);
  ASSERT_TRUE(sum.ToBytes(plusModulus));
  EXPECT_EQ(own.Verify(CALG_SHA1, kMessage, Reversed(plusModulus), shortModulus),
            static_cast<DWORD>(NTE_BAD_SIGNATURE));
}

// floor(cube root of x), bit by bit.
tv::crypto::BigNum CubeRoot(const tv::crypto::BigNum& x) {
  tv::crypto::Arithmetic ar;
  tv::crypto::BigNum root;
  for (std::size_t bit = x.BitLength() / 3 + 1; bit-- > 0;) {
    tv::crypto::BigNum candidate, cube;
    EXPECT_TRUE(candidate.Assign(root, ar) && candidate.SetBit(bit, ar) && tv::crypto::Mul(cube, candidate, candidate, ar) &&
                tv::crypto::Mul(cube, cube, candidate, ar));
    if (tv::crypto::Compare(cube, x) <= 0) root = std::move(candidate);
  }
  return root;
}

// A signature for a public exponent of 3 that opens to `prefix` followed by
// whatever bytes the cube root leaves: the cube root of prefix FF..FF,
// which is exact enough in its upper third when the block is long.
Bytes ForgeForExponentThree(const Bytes& prefix, std::size_t size) {
  Bytes upper = prefix;
  upper.resize(size, 0xFF);
  tv::crypto::Arithmetic ar;
  tv::crypto::BigNum x;
  EXPECT_TRUE(x.SetBytes(upper, ar));
  Bytes signature(size);
  EXPECT_TRUE(CubeRoot(x).ToBytes(signature));
  return signature;
}

// The classic forgery of PKCS#1 v1.5 signatures under e = 3: without the
// private key, a number whose cube starts with a well-formed prefix and
// ends in garbage. A verifier that stops reading after the digest accepts.
TEST_F(SignatureTest, CubeRootForgeriesForExponentThreeAreRejected) {
  // A 2048-bit public key with e = 3; its modulus (2^2048 - 1) is never used
  // to reduce, because the forged cubes stay below it.
  const Bytes publicBlob = Cat({FromHex("0602000000240000"), FromHex("525341310008000003000000"), Repeat(0xFF, 256)});
  tvtest::InProcessProvider own;
  const HCRYPTKEY key = own.Import(publicBlob);
  ASSERT_NE(key, 0u) << std::hex << GetLastError();

  const Bytes md5 = tvtest::Digest(CALG_MD5, kMessage);
  const Bytes sha1 = tvtest::Digest(CALG_SHA1, kMessage);
  const struct {
    const char* name;
    ALG_ID hash;
    Bytes prefix;
    DWORD flags;
  } cases[] = {
      {"MD5 DigestInfo", CALG_MD5, Cat({{0x00, 0x01}, Repeat(0xFF, 8), {0x00}, kMd5Header, md5}), 0},
      {"SHA-1 DigestInfo", CALG_SHA1, Cat({{0x00, 0x01}, Repeat(0xFF, 8), {0x00}, kSha1Header, sha1}), 0},
      {"bare MD5", CALG_MD5, Cat({{0x00, 0x01}, Repeat(0xFF, 8), {0x00}, md5}), CRYPT_NOHASHOID},
      {"one FF byte", CALG_SHA1, Cat({{0x00, 0x01, 0xFF, 0x00}, kSha1Header, sha1}), 0},
  };
  for (const auto& c : cases) {
    const Bytes forged = ForgeForExponentThree(c.prefix, 256);
    const Bytes opened = tvtest::RawPublic(tvtest::RsaNumbers(key), forged, 256);
    ASSERT_TRUE(std::equal(c.prefix.begin(), c.prefix.end(), opened.begin())) << c.name << ": not a forgery";
    ASSERT_NE(Bytes(opened.end() - 16, opened.end()), Bytes(c.prefix.end() - 16, c.prefix.end())) << c.name;
    EXPECT_EQ(own.Verify(c.hash, kMessage, Reversed(forged), key, c.flags), static_cast<DWORD>(NTE_BAD_SIGNATURE))
        << c.name;
  }
}

TEST_F(SignatureTest, EntryRules) {
  const HCRYPTHASH hash = provider_->Hash(CALG_SHA1, kMessage);
  ASSERT_NE(hash, 0u);
  const HCRYPTPROV prov = provider_->handle();
  BYTE signature[256];
  const struct {
    const char* name;
    DWORD keySpec;
    const wchar_t* description;
    DWORD flags;
    DWORD error;
  } cases[] = {
      {"description", AT_SIGNATURE, L"x", 0, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {"unknown flag", AT_SIGNATURE, nullptr, 2, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {"key spec 3", 3, nullptr, 0, static_cast<DWORD>(NTE_BAD_TYPE)},
  };
  for (const auto& c : cases) {
    DWORD length = sizeof signature;
    EXPECT_FALSE(CPSignHash(prov, hash, c.keySpec, c.description, c.flags, signature, &length)) << c.name;
    EXPECT_EQ(GetLastError(), c.error) << c.name;
  }

  DWORD length = 0;
  ASSERT_TRUE(CPSignHash(prov, hash, AT_SIGNATURE, L"", 0, nullptr, &length));
  EXPECT_EQ(length, 128u);
  const BYTE more = 1;
  EXPECT_TRUE(CPHashData(prov, hash, &more, 1, 0)) << "a size query leaves the hash open";
  length = 127;
  EXPECT_FALSE(CPSignHash(prov, hash, AT_SIGNATURE, nullptr, 0, signature, &length));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(length, 127u);
  length = sizeof signature;
  ASSERT_TRUE(CPSignHash(prov, hash, AT_SIGNATURE, L"", 0, signature, &length));
  EXPECT_EQ(length, 128u);
  EXPECT_FALSE(CPHashData(prov, hash, &more, 1, 0)) << "signing finishes the hash";

  tvtest::InProcessProvider empty;
  EXPECT_TRUE(empty.Sign(CALG_SHA1, kMessage, AT_KEYEXCHANGE).empty());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_NO_KEY));

  const HCRYPTKEY session = provider_->GenKey(CALG_RC4, 0);
  EXPECT_EQ(provider_->Verify(CALG_SHA1, kMessage, Bytes(128), session), static_cast<DWORD>(NTE_BAD_KEY));
}

TEST_F(SignatureTest, DigestTooLongForTheKeyIsRefused) {
  tvtest::InProcessProvider own;
  ASSERT_NE(own.GenKey(AT_SIGNATURE, 512 << 16), 0u);
  // 64 bytes of block: SHA-512 leaves no room for eight padding bytes in
  // either form; SHA-256 with its identifier leaves exactly ten.
  for (DWORD flags : {0ul, static_cast<unsigned long>(CRYPT_NOHASHOID)}) {
    EXPECT_TRUE(own.Sign(CALG_SHA_512, kMessage, AT_SIGNATURE, flags).empty());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_LEN));
  }
  EXPECT_EQ(own.Sign(CALG_SHA_256, kMessage, AT_SIGNATURE).size(), 64u);
}

// The Key holding the container is removed between two signatures: the
// second reloads the pairs from the container first.
TEST_F(SignatureTest, RemovedKeyReloadsTheContainerBeforeSigning) {
  tvtest::MemoryContainer container;
  tvtest::InProcessProvider own;
  tvtest::AttachMemoryContainer(own.context(), container);
  const HCRYPTKEY pair = own.GenKey(AT_SIGNATURE, 512 << 16);
  ASSERT_NE(pair, 0u);
  ASSERT_EQ(container.records.count(tv::csp::RecordSlot::SignaturePrivate), 1u);

  ASSERT_FALSE(own.Sign(CALG_SHA1, kMessage, AT_SIGNATURE).empty());
  EXPECT_EQ(container.recordReads, 0) << "the Key is present: the held pair signs";

  container.keyPresent = false;
  const Bytes signature = own.Sign(CALG_SHA1, kMessage, AT_SIGNATURE);
  EXPECT_EQ(container.recordReads, 2) << "the length query and the signature each reload";
  EXPECT_EQ(own.Verify(CALG_SHA1, kMessage, signature, pair), 0u);

  container.readError = ERROR_CANCELLED;  // the user cancels the PIN dialog
  EXPECT_TRUE(own.Sign(CALG_SHA1, kMessage, AT_SIGNATURE).empty());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANCELLED));
  EXPECT_EQ(own.context().signatureKey, nullptr);
}

// Decryption uses the private key as signing does: with the Key gone the
// container is read again first, and a refused reload refuses decryption.
TEST_F(SignatureTest, RemovedKeyReloadsTheContainerBeforeDecrypting) {
  tvtest::MemoryContainer container;
  tvtest::InProcessProvider own;
  tvtest::AttachMemoryContainer(own.context(), container);
  const HCRYPTKEY pair = own.GenKey(AT_KEYEXCHANGE, 512 << 16);
  ASSERT_NE(pair, 0u);
  const Bytes message(20, 0x42);
  Bytes buffer = message;
  buffer.resize(64);
  DWORD length = static_cast<DWORD>(message.size());
  ASSERT_TRUE(CPEncrypt(own.handle(), pair, 0, TRUE, 0, buffer.data(), &length, 64)) << std::hex << GetLastError();
  const Bytes cipher = buffer;

  container.keyPresent = false;
  length = 64;
  ASSERT_TRUE(CPDecrypt(own.handle(), pair, 0, TRUE, 0, buffer.data(), &length)) << std::hex << GetLastError();
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + length), message);
  EXPECT_EQ(container.recordReads, 1) << "the removed Key's container is read again";

  container.readError = ERROR_CANCELLED;  // the user cancels the PIN dialog
  buffer = cipher;
  length = 64;
  EXPECT_FALSE(CPDecrypt(own.handle(), pair, 0, TRUE, 0, buffer.data(), &length));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANCELLED));
  EXPECT_EQ(buffer, cipher);
}

}  // namespace
