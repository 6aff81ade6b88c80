// Key objects through the provider's own entries, in-process: the length,
// salt and flag rules of generation, key parameters, duplication, and the
// handle tag drawn anew once every context is gone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "csp/crypto/hash/hash.h"
#include "csp/crypto/objects/key_object.h"
#include "csp/front/cp_entries.h"
#include "csp/front/object_handles.h"
#include "csp/front/process_state.h"

namespace {

class KeysTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { tv::csp::InitializeProcessState(); }
  void SetUp() override {
    ASSERT_TRUE(CPAcquireContext(&provider_, nullptr, CRYPT_VERIFYCONTEXT, nullptr)) << std::hex << GetLastError();
  }
  void TearDown() override { CPReleaseContext(provider_, 0); }

  HCRYPTKEY Gen(ALG_ID algorithm, DWORD flags) {
    HCRYPTKEY key = 0;
    return CPGenKey(provider_, algorithm, flags, &key) ? key : 0;
  }
  DWORD Word(HCRYPTKEY key, DWORD param) {
    DWORD value = 0, length = sizeof value;
    EXPECT_TRUE(CPGetKeyParam(provider_, key, param, reinterpret_cast<BYTE*>(&value), &length, 0)) << param;
    return value;
  }
  std::vector<BYTE> Bytes(HCRYPTKEY key, DWORD param) {
    DWORD length = 0;
    if (!CPGetKeyParam(provider_, key, param, nullptr, &length, 0)) return {0xEE};
    std::vector<BYTE> bytes(length);
    if (!CPGetKeyParam(provider_, key, param, bytes.data(), &length, 0)) return {0xEE};
    bytes.resize(length);
    return bytes;
  }

  HCRYPTPROV provider_ = 0;
};

TEST_F(KeysTest, GenerationFlagAndLengthRules) {
  const struct {
    ALG_ID algorithm;
    DWORD flags;
    DWORD error;  // 0: accepted
  } cases[] = {
      // The DES family takes the length the algorithm list announces (parity
      // bits not counted) as well as the whole key's, and nothing else.
      {CALG_DES, 56 << 16, 0},
      {CALG_DES, 64 << 16, 0},
      {CALG_DES, 0, 0},
      {CALG_DES, 55 << 16, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {CALG_DES, 57 << 16, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {CALG_3DES_112, 0, 0},
      {CALG_3DES_112, 112 << 16, 0},
      {CALG_3DES_112, 168 << 16, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {CALG_3DES, 168 << 16, 0},
      {CALG_3DES, 192 << 16, 0},
      {CALG_3DES, 112 << 16, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {CALG_AES_256, 128 << 16, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {CALG_RC4, CRYPT_CREATE_SALT, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {CALG_RC4, 40 << 16, 0},
      {CALG_RC2, 129 << 16, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {CALG_RC2, 0x100, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {CALG_RC2, 0x100 | CRYPT_EXPORTABLE, 0},
      {0x1234, 0, static_cast<DWORD>(NTE_BAD_ALGID)},
      {CALG_RSA_KEYX, 0, static_cast<DWORD>(NTE_BAD_ALGID)},
      {AT_SIGNATURE, 383 << 16, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {AT_SIGNATURE, 385 << 16, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {AT_SIGNATURE, (16384 + 8) << 16, static_cast<DWORD>(NTE_BAD_FLAGS)},
  };
  for (const auto& c : cases) {
    const HCRYPTKEY key = Gen(c.algorithm, c.flags);
    if (c.error) {
      EXPECT_EQ(key, 0u) << std::hex << c.algorithm << " " << c.flags;
      EXPECT_EQ(GetLastError(), c.error) << std::hex << c.algorithm << " " << c.flags;
    } else {
      EXPECT_NE(key, 0u) << std::hex << c.algorithm << " " << c.flags << " " << GetLastError();
      CPDestroyKey(provider_, key);
    }
  }
}

TEST_F(KeysTest, DefaultPairIs1024Bits) {
  const HCRYPTKEY pair = Gen(AT_SIGNATURE, 0);
  ASSERT_NE(pair, 0u);
  EXPECT_EQ(Word(pair, KP_KEYLEN), 1024u);
  EXPECT_EQ(Word(pair, KP_ALGID), static_cast<DWORD>(CALG_RSA_SIGN));
  EXPECT_EQ(Word(pair, KP_BLOCKLEN), 1024u);
  CPDestroyKey(provider_, pair);
}

TEST_F(KeysTest, Rc2SaltFollowsTheFlags) {
  const HCRYPTKEY plain = Gen(CALG_RC2, 40 << 16);
  ASSERT_NE(plain, 0u);
  EXPECT_EQ(Word(plain, KP_KEYLEN), 128u);
  EXPECT_EQ(Word(plain, KP_EFFECTIVE_KEYLEN), 40u);
  EXPECT_EQ(Bytes(plain, KP_SALT), std::vector<BYTE>(11, 0));

  const HCRYPTKEY salted = Gen(CALG_RC2, CRYPT_CREATE_SALT | 40 << 16);
  ASSERT_NE(salted, 0u);
  const std::vector<BYTE> salt = Bytes(salted, KP_SALT);
  EXPECT_EQ(salt.size(), 11u);
  EXPECT_NE(salt, std::vector<BYTE>(11, 0));

  const HCRYPTKEY unsalted = Gen(CALG_RC2, CRYPT_NO_SALT | 40 << 16);
  ASSERT_NE(unsalted, 0u);
  EXPECT_TRUE(Bytes(unsalted, KP_SALT).empty());
  for (HCRYPTKEY key : {plain, salted, unsalted}) CPDestroyKey(provider_, key);
}

TEST_F(KeysTest, ParameterRules) {
  const HCRYPTKEY aes = Gen(CALG_AES_128, 0), rc4 = Gen(CALG_RC4, 0), pair = Gen(AT_KEYEXCHANGE, 512 << 16);
  ASSERT_TRUE(aes && rc4 && pair);
  const DWORD four = 4, eight = 8;
  struct Case {
    HCRYPTKEY key;
    DWORD param;
    bool set;
    const DWORD* value;
    DWORD error;
  };
  const Case cases[] = {
      {aes, KP_MODE_BITS, true, &eight, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {aes, KP_MODE_BITS, true, &four, 0},
      {rc4, KP_MODE, true, &four, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {aes, KP_SALT, false, nullptr, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {pair, KP_IV, false, nullptr, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {pair, KP_CERTIFICATE, false, nullptr, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {aes, KP_CERTIFICATE, false, nullptr, static_cast<DWORD>(NTE_BAD_TYPE)},
      {pair, KP_MODE, true, &four, static_cast<DWORD>(NTE_BAD_FLAGS)},
  };
  for (const Case& c : cases) {
    BYTE buffer[64] = {};
    DWORD length = sizeof buffer;
    const BOOL ok = c.set ? CPSetKeyParam(provider_, c.key, c.param, reinterpret_cast<BYTE*>(const_cast<DWORD*>(c.value)), 0)
                          : CPGetKeyParam(provider_, c.key, c.param, buffer, &length, 0);
    EXPECT_EQ(ok != FALSE, c.error == 0) << "param " << c.param;
    if (c.error) {
      EXPECT_EQ(GetLastError(), c.error) << "param " << c.param;
    }
  }
  EXPECT_EQ(Word(aes, KP_MODE_BITS), 4u);
  EXPECT_TRUE(Bytes(rc4, KP_IV).empty());
  DWORD small = 3, value = 0;
  EXPECT_FALSE(CPGetKeyParam(provider_, aes, KP_MODE, reinterpret_cast<BYTE*>(&value), &small, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(small, 3u);
  for (HCRYPTKEY key : {aes, rc4, pair}) CPDestroyKey(provider_, key);
}

// A key reports the right to be exported only when it can be: setting the
// bit does not make a key exportable, nor does it make it claim to be.
TEST_F(KeysTest, PermissionsClaimExportOnlyForExportableKeys) {
  const struct {
    ALG_ID algorithm;
    DWORD flags;
    DWORD permissions;
  } cases[] = {
      {AT_KEYEXCHANGE, 512 << 16 | CRYPT_EXPORTABLE, 0xFFFFFFFF},
      {AT_SIGNATURE, 512 << 16, 0xFFFFFFFF & ~static_cast<DWORD>(CRYPT_EXPORT)},
      {CALG_RC4, CRYPT_EXPORTABLE, 0xFFFFFFFF},
      {CALG_AES_128, 0, 0xFFFFFFFF & ~static_cast<DWORD>(CRYPT_EXPORT)},
  };
  for (const auto& c : cases) {
    const HCRYPTKEY key = Gen(c.algorithm, c.flags);
    ASSERT_NE(key, 0u);
    EXPECT_EQ(Word(key, KP_PERMISSIONS), c.permissions) << std::hex << c.algorithm;
    HCRYPTKEY copy = 0;
    ASSERT_TRUE(CPDuplicateKey(provider_, key, nullptr, 0, &copy));
    EXPECT_EQ(Word(copy, KP_PERMISSIONS), c.permissions) << std::hex << c.algorithm;
    DWORD all = 0xFFFFFFFF;
    ASSERT_TRUE(CPSetKeyParam(provider_, key, KP_PERMISSIONS, reinterpret_cast<BYTE*>(&all), 0));
    EXPECT_EQ(Word(key, KP_PERMISSIONS), c.permissions) << std::hex << c.algorithm;
    DWORD readOnly = CRYPT_READ;
    ASSERT_TRUE(CPSetKeyParam(provider_, key, KP_PERMISSIONS, reinterpret_cast<BYTE*>(&readOnly), 0));
    EXPECT_EQ(Word(key, KP_PERMISSIONS), static_cast<DWORD>(CRYPT_READ));
    for (HCRYPTKEY k : {key, copy}) CPDestroyKey(provider_, k);
  }
}

TEST_F(KeysTest, DuplicateRestartsTheChainAtTheIv) {
  const HCRYPTKEY key = Gen(CALG_AES_128, 0);
  ASSERT_NE(key, 0u);
  BYTE block[16] = {1, 2, 3};
  ASSERT_TRUE(tv::csp::KeyFromHandle(key)->session.Encrypt(block, sizeof block, tv::crypto::CipherMode::Cbc));
  HCRYPTKEY copy = 0;
  ASSERT_TRUE(CPDuplicateKey(provider_, key, nullptr, 0, &copy));
  BYTE next[16] = {9}, nextCopy[16] = {9};
  tv::csp::KeyFromHandle(key)->session.Encrypt(next, sizeof next, tv::crypto::CipherMode::Cbc);
  tv::csp::KeyFromHandle(copy)->session.Encrypt(nextCopy, sizeof nextCopy, tv::crypto::CipherMode::Cbc);
  EXPECT_NE(memcmp(next, nextCopy, sizeof next), 0);
  DWORD reserved = 0;
  HCRYPTKEY unused = 0;
  EXPECT_FALSE(CPDuplicateKey(provider_, key, &reserved, 0, &unused));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  CPDestroyKey(provider_, copy);
  CPDestroyKey(provider_, key);
}

// Digest of `algorithm` over data, with the hash primitives themselves.
std::vector<BYTE> Digest(const tv::crypto::HashAlgorithm& algorithm, const std::vector<BYTE>& data) {
  std::vector<std::uint64_t> context((algorithm.contextSize + 7) / 8);
  std::vector<BYTE> digest(algorithm.digestSize);
  algorithm.init(context.data());
  algorithm.update(context.data(), data);
  algorithm.final(context.data(), digest.data());
  return digest;
}

TEST_F(KeysTest, DerivedKeysTakeTheDigestOrItsStretchedForm) {
  const std::vector<BYTE> data = {'d', 'e', 'r', 'i', 'v', 'e'};
  const struct {
    ALG_ID hashAlgorithm;
    const tv::crypto::HashAlgorithm* hash;
    ALG_ID keyAlgorithm;
    std::size_t keyBytes;
    bool stretched;
  } cases[] = {
      {CALG_MD5, &tv::crypto::kMd5, CALG_3DES, 24, true},
      {CALG_SHA1, &tv::crypto::kSha1, CALG_DES, 8, false},
      {CALG_SHA1, &tv::crypto::kSha1, CALG_AES_256, 32, true},
      {CALG_SHA_256, &tv::crypto::kSha256, CALG_AES_128, 16, false},
  };
  for (const auto& c : cases) {
    HCRYPTHASH hash = 0;
    ASSERT_TRUE(CPCreateHash(provider_, c.hashAlgorithm, 0, 0, &hash));
    ASSERT_TRUE(CPHashData(provider_, hash, data.data(), static_cast<DWORD>(data.size()), 0));
    HCRYPTKEY key = 0;
    ASSERT_TRUE(CPDeriveKey(provider_, c.keyAlgorithm, hash, 0, &key)) << std::hex << GetLastError();
    std::vector<BYTE> expected = Digest(*c.hash, data);
    if (c.stretched) {
      std::vector<BYTE> inner(64, 0x36), outer(64, 0x5C);
      for (std::size_t i = 0; i < expected.size(); ++i) {
        inner[i] ^= expected[i];
        outer[i] ^= expected[i];
      }
      expected = Digest(*c.hash, inner);
      const std::vector<BYTE> second = Digest(*c.hash, outer);
      expected.insert(expected.end(), second.begin(), second.end());
    }
    const BYTE* keyBytes = tv::csp::KeyFromHandle(key)->session.keyBytes.Data();
    EXPECT_EQ(std::vector<BYTE>(keyBytes, keyBytes + c.keyBytes),
              std::vector<BYTE>(expected.begin(), expected.begin() + c.keyBytes))
        << std::hex << c.hashAlgorithm << " -> " << c.keyAlgorithm;
    BYTE more = 0;
    EXPECT_FALSE(CPHashData(provider_, hash, &more, 1, 0)) << "deriving finishes the base hash";
    CPDestroyKey(provider_, key);
    CPDestroyHash(provider_, hash);
  }
}

TEST_F(KeysTest, HandlesFromBeforeTheLastReleaseAreRefused) {
  const HCRYPTKEY key = Gen(CALG_RC4, 0);
  ASSERT_NE(key, 0u);
  const HCRYPTPROV old = provider_;
  const std::uint32_t oldTag = tv::csp::HandleTag.load();
  ASSERT_TRUE(CPReleaseContext(provider_, 0));
  ASSERT_TRUE(CPAcquireContext(&provider_, nullptr, CRYPT_VERIFYCONTEXT, nullptr));
  EXPECT_NE(tv::csp::HandleTag.load(), oldTag);
  if (old != provider_) {  // the new context may reuse the old one's memory
    BYTE bytes[4];
    EXPECT_FALSE(CPGenRandom(old, sizeof bytes, bytes));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_UID));
  }
  EXPECT_FALSE(CPDestroyKey(provider_, key));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_KEY));
  EXPECT_TRUE(CPGenRandom(provider_, 0, nullptr));
}

}  // namespace
