// The keyed hashes: HMAC against RFC 2202 and against an independent
// 64-byte-pad HMAC for every inner hash, the key bytes HMAC takes, and the
// CBC-MAC against CBC encryption of the zero-padded data.
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <cstring>

#include "csp/crypto/objects/key_object.h"
#include "csp/front/cp_entries.h"
#include "csp/front/object_handles.h"
#include "hash_fixture.h"
#include "vector_file.h"

namespace {

using tvtest::Bytes;
namespace crypto = tv::crypto;

class KeyedHashTest : public tvtest::HashFixture {
 protected:
  // A provider key holding `key`: RC4 of exactly its length up to 16 bytes,
  // else AES-192 or AES-256 with the key zero-extended, which HMAC's own
  // zero padding of the key makes the same HMAC key. 0 for longer keys.
  HCRYPTKEY HoldingKey(std::span<const std::uint8_t> key) {
    if (key.size() <= 16) return SessionKey(CALG_RC4, key, static_cast<DWORD>(key.size() * 8) << 16);
    if (key.size() <= 24) return SessionKey(CALG_AES_192, key);
    if (key.size() <= 32) return SessionKey(CALG_AES_256, key);
    return 0;
  }

  Bytes Salt(HCRYPTKEY key) {
    DWORD length = 0;
    EXPECT_TRUE(CPGetKeyParam(Provider(), key, KP_SALT, nullptr, &length, 0));
    Bytes salt(length);
    EXPECT_TRUE(CPGetKeyParam(Provider(), key, KP_SALT, salt.data(), &length, 0));
    return salt;
  }
};

TEST_F(KeyedHashTest, HmacEqualsRfc2202ForEveryKeyAProviderKeyCanHold) {
  const struct {
    const char* file;
    ALG_ID inner;
  } files[] = {{"HMAC/rfc-2202-sha1.txt", CALG_SHA1}, {"HMAC/rfc-2202-md5.txt", CALG_MD5}};
  for (const auto& file : files) {
    int checked = 0;
    for (const tvtest::VectorRecord& record : tvtest::ReadVectorFile(tvtest::VectorPath(file.file))) {
      const Bytes key = record.Bytes("Key");
      const HCRYPTKEY holder = HoldingKey(key);
      if (!holder) continue;  // longer than any session key
      EXPECT_EQ(HmacOf(file.inner, holder, record.Bytes("Msg")), record.Bytes("MD"))
          << file.file << " line " << record.line;
      ++checked;
    }
    EXPECT_GE(checked, 5) << file.file;
  }
}

TEST_F(KeyedHashTest, HmacUses64BytePadsForEveryInnerHash) {
  const struct {
    ALG_ID inner;
    const crypto::HashAlgorithm& hash;
  } cases[] = {{CALG_MD2, crypto::kMd2},       {CALG_MD4, crypto::kMd4},       {CALG_MD5, crypto::kMd5},
               {CALG_SHA1, crypto::kSha1},     {CALG_SHA_256, crypto::kSha256}, {CALG_SHA_384, crypto::kSha384},
               {CALG_SHA_512, crypto::kSha512}, {CALG_SSL3_SHAMD5, crypto::kSsl3ShaMd5}};
  const Bytes keyBytes = tvtest::Pattern(32, 9);
  const Bytes data = tvtest::Pattern(300, 4);
  for (const auto& c : cases) {
    const HCRYPTKEY key = SessionKey(CALG_AES_256, keyBytes);
    const HCRYPTHASH hash = Create(CALG_HMAC, key);
    ASSERT_TRUE(SetHmacInfo(hash, c.inner)) << std::hex << c.inner;
    EXPECT_EQ(Word(hash, HP_ALGID), static_cast<DWORD>(CALG_HMAC));
    EXPECT_EQ(Word(hash, HP_HASHSIZE), c.hash.digestSize) << std::hex << c.inner;
    ASSERT_TRUE(FeedInPieces(hash, data, 50));
    EXPECT_EQ(Value(hash), tvtest::Hmac64(c.hash, keyBytes, data)) << std::hex << c.inner;
  }
}

TEST_F(KeyedHashTest, HmacTakesKeyLengthBytesAndNoMoreThanTheKeyHolds) {
  const Bytes material = tvtest::Pattern(16, 3);
  const Bytes first5(material.begin(), material.begin() + 5);
  const Bytes data = tvtest::Pattern(40, 8);

  // RC4 of 40 bits: five bytes, whatever follows them in the key buffer.
  const HCRYPTKEY rc4 = SessionKey(CALG_RC4, material, 40 << 16);
  EXPECT_EQ(HmacOf(CALG_SHA1, rc4, data), tvtest::Hmac64(crypto::kSha1, first5, data));

  // RC2 of 40 bits with created salt: the salt is not part of the HMAC key.
  const HCRYPTKEY salted = SessionKey(CALG_RC2, first5, 40 << 16 | CRYPT_CREATE_SALT);
  const Bytes salt = Salt(salted);
  ASSERT_EQ(salt.size(), 11u);
  EXPECT_EQ(HmacOf(CALG_SHA1, salted, data), tvtest::Hmac64(crypto::kSha1, first5, data));

  // RC2's effective key length may claim 1024 bits; only the 16 bytes of
  // key and salt are read.
  DWORD bits = 1024;
  ASSERT_TRUE(CPSetKeyParam(Provider(), salted, KP_EFFECTIVE_KEYLEN, reinterpret_cast<BYTE*>(&bits), 0));
  EXPECT_EQ(HmacOf(CALG_SHA1, salted, data), tvtest::Hmac64(crypto::kSha1, tvtest::Concat(first5, salt), data));
}

struct MacCase {
  ALG_ID algorithm;
  DWORD flags;
  const crypto::CipherAlgorithm& cipher;
  std::size_t keyBytes;         // bytes of key material given
  std::size_t bufferBytes;      // key plus salt, as the cipher sees them
  std::uint32_t lengthWord;     // what an encryption with the key sets up with
};

const MacCase kMacCases[] = {
    {CALG_DES, 0, crypto::kDes, 8, 8, 64},
    {CALG_3DES, 0, crypto::kTripleDes, 24, 24, 192},
    {CALG_3DES_112, 0, crypto::kTripleDes, 16, 16, 128},
    {CALG_RC2, 0, crypto::kRc2, 16, 16, 128},
    // 40 key bits and 11 salt bytes: the MAC uses the key as it encrypts.
    {CALG_RC2, 40 << 16, crypto::kRc2, 5, 16, 40 | 16 << 16},
    {CALG_AES_128, 0, crypto::kAes, 16, 16, 128},
    {CALG_AES_256, 0, crypto::kAes, 32, 32, 256},
};

// Empty (one zero block), short, and around the 8- and 16-byte blocks.
constexpr std::size_t kMacLengths[] = {0, 1, 7, 8, 9, 15, 16, 17, 33, 100};
constexpr std::size_t kPieces[] = {1000, 1, 5, 16};

TEST_F(KeyedHashTest, MacIsCbcEncryptionOfTheZeroPaddedDataInAnyPieces) {
  for (const MacCase& c : kMacCases) {
    Bytes key = tvtest::Pattern(c.keyBytes, static_cast<std::uint8_t>(c.algorithm));
    const HCRYPTKEY hKey = SessionKey(c.algorithm, key, c.flags);
    key.resize(c.bufferBytes, 0);
    for (std::size_t length : kMacLengths) {
      const Bytes data = tvtest::Pattern(length, 2);
      const Bytes expected = tvtest::CbcMacOf(c.cipher, key, c.lengthWord, data);
      for (std::size_t piece : kPieces) {
        // One object at a time: each one restarts the key's chaining.
        const HCRYPTHASH hash = Create(CALG_MAC, hKey);
        ASSERT_NE(hash, 0u) << std::hex << c.algorithm << " " << GetLastError();
        ASSERT_TRUE(FeedInPieces(hash, data, piece));
        EXPECT_EQ(Value(hash), expected)
            << std::hex << c.algorithm << std::dec << " length " << length << " pieces of " << piece;
      }
    }
  }
}

TEST_F(KeyedHashTest, MacSizeIsTheKeysBlockLength) {
  const Bytes key = tvtest::Pattern(24);
  EXPECT_EQ(Word(Create(CALG_MAC, SessionKey(CALG_DES, std::span(key).first(8))), HP_HASHSIZE), 8u);
  EXPECT_EQ(Word(Create(CALG_MAC, SessionKey(CALG_AES_192, key)), HP_HASHSIZE), 16u);
}

// The key's IV and where its chaining stood do not enter the MAC.
TEST_F(KeyedHashTest, MacStartsFromAZeroFeedbackRegister) {
  const Bytes key = tvtest::Pattern(16, 5);
  const HCRYPTKEY hKey = SessionKey(CALG_AES_128, key);
  Bytes iv = tvtest::Pattern(16, 6);
  ASSERT_TRUE(CPSetKeyParam(Provider(), hKey, KP_IV, iv.data(), 0));
  std::uint8_t block[16] = {1, 2, 3};
  ASSERT_TRUE(tv::csp::KeyFromHandle(hKey)->session.Encrypt(block, sizeof block, crypto::CipherMode::Cbc));

  const Bytes data = tvtest::Pattern(40, 7);
  EXPECT_EQ(DigestOf(CALG_MAC, data, hKey), tvtest::CbcMacOf(crypto::kAes, key, 128, data));
}

TEST_F(KeyedHashTest, MacNeedsABlockCipherKeyThatStillExists) {
  const Bytes key = tvtest::Pattern(16);
  EXPECT_EQ(Create(CALG_MAC, SessionKey(CALG_RC4, key)), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_KEY));

  const HCRYPTKEY hKey = SessionKey(CALG_AES_128, key);
  const HCRYPTHASH finished = Create(CALG_MAC, hKey);
  ASSERT_TRUE(Feed(finished, key));
  const Bytes value = Value(finished);
  const HCRYPTHASH open = Create(CALG_MAC, hKey);
  ASSERT_TRUE(Feed(open, key));

  ASSERT_TRUE(CPDestroyKey(Provider(), hKey));
  EXPECT_EQ(tvtest::ErrorOf(Feed(open, key)), static_cast<DWORD>(NTE_BAD_KEY));
  std::uint8_t out[16];
  DWORD length = sizeof out;
  EXPECT_EQ(tvtest::ErrorOf(CPGetHashParam(Provider(), open, HP_HASHVAL, out, &length, 0)),
            static_cast<DWORD>(NTE_BAD_KEY));
  EXPECT_EQ(Value(finished), value) << "a finished MAC keeps its value";
}

}  // namespace
