// The life of a hash object through the entries: open, finished by reading
// or setting the value, duplicated, destroyed; the parameter and flag
// rules; hashing a session key; the refusals of keyed objects.
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "csp/front/cp_entries.h"
#include "hash_fixture.h"

namespace {

using tvtest::Bytes;
using tvtest::ErrorOf;
namespace crypto = tv::crypto;

constexpr DWORD kBadHashState = static_cast<DWORD>(NTE_BAD_HASH_STATE);
constexpr DWORD kBadKey = static_cast<DWORD>(NTE_BAD_KEY);

// Objects of each kind, ready for data.
struct Kind {
  const char* name;
  ALG_ID algorithm;
  ALG_ID keyAlgorithm;  // 0: no key
  std::size_t keyBytes;
  ALG_ID inner;  // HMAC only
};

const Kind kKinds[] = {
    {"MD5", CALG_MD5, 0, 0, 0},
    {"SHA-1", CALG_SHA1, 0, 0, 0},
    {"SHA-512", CALG_SHA_512, 0, 0, 0},
    {"SSL3", CALG_SSL3_SHAMD5, 0, 0, 0},
    {"MAC", CALG_MAC, CALG_DES, 8, 0},
    {"HMAC", CALG_HMAC, CALG_AES_128, 16, CALG_SHA_256},
};

constexpr ALG_ID kPlainAlgorithms[] = {CALG_MD2,     CALG_MD4,     CALG_MD5,     CALG_SHA1,
                                       CALG_SHA_256, CALG_SHA_384, CALG_SHA_512, CALG_SSL3_SHAMD5};

class HashStateTest : public tvtest::HashFixture {
 protected:
  HCRYPTHASH Open(const Kind& kind) {
    const HCRYPTKEY key = kind.keyAlgorithm ? SessionKey(kind.keyAlgorithm, tvtest::Pattern(kind.keyBytes)) : 0;
    const HCRYPTHASH hash = Create(kind.algorithm, key);
    EXPECT_NE(hash, 0u) << kind.name << " " << std::hex << GetLastError();
    if (kind.inner) {
      EXPECT_TRUE(SetHmacInfo(hash, kind.inner)) << kind.name;
    }
    return hash;
  }
  DWORD SizeOf(HCRYPTHASH hash) {
    DWORD length = 0;
    EXPECT_TRUE(CPGetHashParam(Provider(), hash, HP_HASHVAL, nullptr, &length, 0));
    return length;
  }
  BOOL SetValue(HCRYPTHASH hash, Bytes value) {
    return CPSetHashParam(Provider(), hash, HP_HASHVAL, value.data(), 0);
  }
  BOOL HashKey(HCRYPTHASH hash, HCRYPTKEY key, DWORD flags) {
    return CPHashSessionKey(Provider(), hash, key, flags);
  }
  // SHA-1 of the key's bytes in stored order.
  Bytes DigestOfKey(HCRYPTKEY key) {
    const HCRYPTHASH hash = Create(CALG_SHA1);
    if (!HashKey(hash, key, CRYPT_LITTLE_ENDIAN)) return {};
    return Value(hash);
  }

  const Bytes first_ = tvtest::Pattern(21, 1);
  const Bytes second_ = tvtest::Pattern(50, 2);
};

TEST_F(HashStateTest, SizeQueryLeavesTheObjectOpen) {
  for (const Kind& kind : kKinds) {
    const HCRYPTHASH hash = Open(kind);
    ASSERT_TRUE(Feed(hash, first_));
    EXPECT_EQ(SizeOf(hash), Word(hash, HP_HASHSIZE)) << kind.name;
    ASSERT_TRUE(Feed(hash, second_)) << kind.name << " was finished by a size query";
    const Bytes value = Value(hash);

    const HCRYPTHASH whole = Open(kind);
    ASSERT_TRUE(Feed(whole, tvtest::Concat(first_, second_)));
    EXPECT_EQ(value, Value(whole)) << kind.name;
  }
}

TEST_F(HashStateTest, ShortBufferGivesMoreDataAndChangesNothing) {
  for (const Kind& kind : kKinds) {
    const HCRYPTHASH hash = Open(kind);
    DWORD length = SizeOf(hash) - 1;
    Bytes buffer(length);
    EXPECT_EQ(ErrorOf(CPGetHashParam(Provider(), hash, HP_HASHVAL, buffer.data(), &length, 0)),
              static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(length, buffer.size()) << kind.name;
    EXPECT_TRUE(Feed(hash, first_)) << kind.name;
  }
}

TEST_F(HashStateTest, ReadingFinishesAndReadingAgainGivesTheSameValue) {
  for (const Kind& kind : kKinds) {
    const HCRYPTHASH hash = Open(kind);
    ASSERT_TRUE(Feed(hash, first_));
    const Bytes value = Value(hash);
    ASSERT_FALSE(value.empty()) << kind.name;
    EXPECT_EQ(Value(hash), value) << kind.name;
    EXPECT_EQ(ErrorOf(Feed(hash, first_)), kBadHashState) << kind.name;
    const HCRYPTKEY key = SessionKey(CALG_RC4, Bytes(5, 7), 40 << 16);
    EXPECT_EQ(ErrorOf(HashKey(hash, key, 0)), kBadHashState) << kind.name;
    EXPECT_EQ(Value(hash), value) << kind.name;
  }
}

TEST_F(HashStateTest, SettingTheValueFinishesAndIsReadBackExactly) {
  for (const Kind& kind : kKinds) {
    const HCRYPTHASH hash = Open(kind);
    ASSERT_TRUE(Feed(hash, first_));
    const Bytes set = tvtest::Pattern(SizeOf(hash), 3);
    ASSERT_TRUE(SetValue(hash, set)) << kind.name;
    EXPECT_EQ(Value(hash), set) << kind.name;
    EXPECT_EQ(ErrorOf(Feed(hash, first_)), kBadHashState) << kind.name;
    const Bytes again = tvtest::Pattern(set.size(), 4);
    ASSERT_TRUE(SetValue(hash, again)) << kind.name << " refused a value once finished";
    EXPECT_EQ(Value(hash), again) << kind.name;
  }
}

TEST_F(HashStateTest, UserDataFlagAddsNothingAndTakesNoData) {
  const HCRYPTHASH hash = Create(CALG_SHA1);
  EXPECT_TRUE(Feed(hash, {}, CRYPT_USERDATA));
  EXPECT_EQ(ErrorOf(Feed(hash, first_, CRYPT_USERDATA)), static_cast<DWORD>(NTE_BAD_LEN));
  EXPECT_EQ(ErrorOf(Feed(hash, first_, 2)), static_cast<DWORD>(NTE_BAD_FLAGS));
  EXPECT_EQ(ErrorOf(CPHashData(Provider(), hash, nullptr, 4, 0)), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(Value(hash), tvtest::Digest(crypto::kSha1, {}));
  // A finished object is refused before the flags are looked at.
  EXPECT_EQ(ErrorOf(Feed(hash, {}, CRYPT_USERDATA)), kBadHashState);
  EXPECT_EQ(ErrorOf(Feed(hash, {}, 2)), kBadHashState);
}

TEST_F(HashStateTest, FourByteParametersSetTheLengthFirst) {
  const HCRYPTHASH hash = Create(CALG_SHA_256);
  BYTE buffer[16];
  DWORD length = 3;
  EXPECT_EQ(ErrorOf(CPGetHashParam(Provider(), hash, HP_ALGID, buffer, &length, 0)),
            static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(length, 3u);
  length = 0;
  EXPECT_TRUE(CPGetHashParam(Provider(), hash, HP_HASHSIZE, nullptr, &length, 0));
  EXPECT_EQ(length, 4u);
  for (DWORD param : {0ul, 3ul, static_cast<DWORD>(HP_HMAC_INFO), 0x99ul}) {
    for (BYTE* data : {static_cast<BYTE*>(nullptr), buffer}) {
      length = data ? sizeof buffer : 0;
      EXPECT_EQ(ErrorOf(CPGetHashParam(Provider(), hash, param, data, &length, 0)),
                static_cast<DWORD>(NTE_BAD_TYPE))
          << param;
      EXPECT_EQ(length, 4u) << param;
    }
  }
}

TEST_F(HashStateTest, ParameterCallsRefuseFlagsUnknownParametersAndMissingPointers) {
  const HCRYPTHASH hash = Create(CALG_MD5);
  BYTE value[16] = {};
  DWORD length = sizeof value;
  const struct {
    const char* what;
    DWORD error;
    DWORD expected;
  } cases[] = {
      {"get with flags", ErrorOf(CPGetHashParam(Provider(), hash, HP_HASHVAL, value, &length, 1)),
       static_cast<DWORD>(NTE_BAD_FLAGS)},
      {"get without length", ErrorOf(CPGetHashParam(Provider(), hash, HP_ALGID, value, nullptr, 0)),
       static_cast<DWORD>(ERROR_INVALID_PARAMETER)},
      {"set with flags", ErrorOf(CPSetHashParam(Provider(), hash, HP_HASHVAL, value, 1)),
       static_cast<DWORD>(NTE_BAD_FLAGS)},
      {"set unknown", ErrorOf(CPSetHashParam(Provider(), hash, HP_HASHSIZE, value, 0)),
       static_cast<DWORD>(NTE_BAD_TYPE)},
      {"set without data", ErrorOf(CPSetHashParam(Provider(), hash, HP_HASHVAL, nullptr, 0)),
       static_cast<DWORD>(ERROR_INVALID_PARAMETER)},
      {"HMAC info on MD5", ErrorOf(SetHmacInfo(hash, CALG_SHA1)), static_cast<DWORD>(NTE_BAD_TYPE)},
  };
  for (const auto& c : cases) EXPECT_EQ(c.error, c.expected) << c.what;
  EXPECT_TRUE(Feed(hash, first_)) << "a refused call finished the object";
}

TEST_F(HashStateTest, SessionKeyIsHashedReversedUnlessLittleEndian) {
  const Bytes bytes = {1, 2, 3, 4, 5};
  const Bytes reversed = {5, 4, 3, 2, 1};
  const HCRYPTKEY rc4 = SessionKey(CALG_RC4, bytes, 40 << 16);

  HCRYPTHASH hash = Create(CALG_SHA1);
  ASSERT_TRUE(Feed(hash, first_));
  ASSERT_TRUE(HashKey(hash, rc4, 0));
  ASSERT_TRUE(Feed(hash, second_));
  EXPECT_EQ(Value(hash), tvtest::Digest(crypto::kSha1, tvtest::Concat(tvtest::Concat(first_, reversed), second_)));

  hash = Create(CALG_SHA1);
  ASSERT_TRUE(HashKey(hash, rc4, CRYPT_LITTLE_ENDIAN));
  EXPECT_EQ(Value(hash), tvtest::Digest(crypto::kSha1, bytes));

  // The salt is not hashed; a claimed effective length of 1024 bits reads
  // no further than key and salt.
  const HCRYPTKEY salted = SessionKey(CALG_RC2, bytes, 40 << 16 | CRYPT_CREATE_SALT);
  EXPECT_EQ(DigestOfKey(salted), tvtest::Digest(crypto::kSha1, bytes));
  DWORD bits = 1024, saltLength = 16;
  Bytes salt(saltLength);
  ASSERT_TRUE(CPSetKeyParam(Provider(), salted, KP_EFFECTIVE_KEYLEN, reinterpret_cast<BYTE*>(&bits), 0));
  ASSERT_TRUE(CPGetKeyParam(Provider(), salted, KP_SALT, salt.data(), &saltLength, 0));
  salt.resize(saltLength);
  EXPECT_EQ(DigestOfKey(salted), tvtest::Digest(crypto::kSha1, tvtest::Concat(bytes, salt)));
}

TEST_F(HashStateTest, SessionKeyRefusals) {
  const HCRYPTHASH hash = Create(CALG_SHA1);
  const HCRYPTKEY key = SessionKey(CALG_AES_128, tvtest::Pattern(16));
  EXPECT_EQ(ErrorOf(HashKey(hash, key, 2)), static_cast<DWORD>(NTE_BAD_FLAGS));
  EXPECT_EQ(ErrorOf(HashKey(hash, RsaKey(), 0)), kBadKey);
  EXPECT_EQ(ErrorOf(HashKey(hash, 0, 0)), kBadKey);
  EXPECT_EQ(Value(hash), tvtest::Digest(crypto::kSha1, {})) << "a refused key was hashed";
}

TEST_F(HashStateTest, DuplicateCarriesTheRunningStateAndIsIndependent) {
  for (ALG_ID algorithm : kPlainAlgorithms) {
    const HCRYPTHASH source = Create(algorithm);
    ASSERT_TRUE(Feed(source, first_));
    const HCRYPTHASH copy = Duplicate(source);
    ASSERT_NE(copy, 0u) << std::hex << algorithm << " " << GetLastError();
    const HCRYPTHASH diverging = Duplicate(source);
    ASSERT_TRUE(Feed(source, second_));
    ASSERT_TRUE(CPDestroyHash(Provider(), source));
    ASSERT_TRUE(Feed(copy, second_));
    ASSERT_TRUE(Feed(diverging, first_));
    const Bytes whole = DigestOf(algorithm, tvtest::Concat(first_, second_));
    EXPECT_EQ(Value(copy), whole) << std::hex << algorithm;
    EXPECT_NE(Value(diverging), whole) << std::hex << algorithm;

    const HCRYPTHASH finishedCopy = Duplicate(copy);
    EXPECT_EQ(Value(finishedCopy), whole) << std::hex << algorithm;
    EXPECT_EQ(ErrorOf(Feed(finishedCopy, first_)), kBadHashState) << std::hex << algorithm;
  }
}

TEST_F(HashStateTest, DuplicateRefusals) {
  const HCRYPTHASH plain = Create(CALG_SHA1);
  HCRYPTHASH copy = 0;
  DWORD reserved = 0;
  EXPECT_EQ(ErrorOf(CPDuplicateHash(Provider(), plain, &reserved, 0, &copy)),
            static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(ErrorOf(CPDuplicateHash(Provider(), plain, nullptr, 1, &copy)),
            static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(ErrorOf(CPDuplicateHash(Provider(), plain, nullptr, 0, nullptr)),
            static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  const HCRYPTHASH hmac = Create(CALG_HMAC, SessionKey(CALG_AES_128, tvtest::Pattern(16)));
  EXPECT_EQ(Duplicate(hmac), 0u);
  EXPECT_EQ(GetLastError(), kBadHashState) << "HMAC before HP_HMAC_INFO";
  ASSERT_TRUE(SetHmacInfo(hmac, CALG_SHA1));
  EXPECT_EQ(Duplicate(hmac), 0u);
  EXPECT_EQ(GetLastError(), kBadKey) << "HMAC";
  EXPECT_EQ(Duplicate(Create(CALG_MAC, SessionKey(CALG_DES, tvtest::Pattern(8)))), 0u);
  EXPECT_EQ(GetLastError(), kBadKey) << "MAC";
}

TEST_F(HashStateTest, CreationRefusals) {
  const HCRYPTKEY session = SessionKey(CALG_AES_128, tvtest::Pattern(16));
  const HCRYPTKEY rsa = RsaKey();
  const HCRYPTKEY destroyed = SessionKey(CALG_DES, tvtest::Pattern(8));
  ASSERT_TRUE(CPDestroyKey(Provider(), destroyed));
  const struct {
    ALG_ID algorithm;
    HCRYPTKEY key;
    DWORD error;
  } cases[] = {
      {CALG_RC4, 0, static_cast<DWORD>(NTE_BAD_ALGID)},
      {CALG_TLS1PRF, 0, static_cast<DWORD>(NTE_BAD_ALGID)},
      {CALG_MAC, 0, kBadKey},
      {CALG_HMAC, 0, kBadKey},
      {CALG_SHA1, rsa, kBadKey},
      {CALG_MAC, rsa, kBadKey},
      {CALG_HMAC, rsa, kBadKey},
      {CALG_SHA1, destroyed, kBadKey},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Create(c.algorithm, c.key), 0u) << std::hex << c.algorithm;
    EXPECT_EQ(GetLastError(), c.error) << std::hex << c.algorithm;
  }
  HCRYPTHASH hash = 0;
  EXPECT_EQ(ErrorOf(CPCreateHash(Provider(), CALG_SHA1, 0, 1, &hash)), static_cast<DWORD>(NTE_BAD_FLAGS));
  EXPECT_EQ(ErrorOf(CPCreateHash(Provider(), CALG_SHA1, 0, 0, nullptr)),
            static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // A plain hash ignores a valid session key.
  EXPECT_EQ(DigestOf(CALG_SHA1, first_, session), DigestOf(CALG_SHA1, first_));
}

// Before HP_HMAC_INFO an HMAC object has no inner hash: it takes no data,
// has no value and cannot be copied. HP_HMAC_INFO is taken once.
TEST_F(HashStateTest, HmacRefusesEverythingBeforeItsInnerHashAndTakesItOnce) {
  const Bytes keyBytes = tvtest::Pattern(16, 8);
  const HCRYPTKEY key = SessionKey(CALG_AES_128, keyBytes);
  const HCRYPTHASH hmac = Create(CALG_HMAC, key);
  BYTE value[64] = {};
  DWORD queryLength = 0, readLength = sizeof value, sizeLength = 4;
  const struct {
    const char* what;
    DWORD error;
    DWORD expected;
  } before[] = {
      {"data", ErrorOf(Feed(hmac, first_)), kBadHashState},
      {"session key", ErrorOf(HashKey(hmac, key, 0)), kBadHashState},
      {"size query", ErrorOf(CPGetHashParam(Provider(), hmac, HP_HASHVAL, nullptr, &queryLength, 0)), kBadHashState},
      {"read", ErrorOf(CPGetHashParam(Provider(), hmac, HP_HASHVAL, value, &readLength, 0)), kBadHashState},
      {"hash size", ErrorOf(CPGetHashParam(Provider(), hmac, HP_HASHSIZE, value, &sizeLength, 0)), kBadHashState},
      {"set value", ErrorOf(CPSetHashParam(Provider(), hmac, HP_HASHVAL, value, 0)), kBadHashState},
      {"inner MAC", ErrorOf(SetHmacInfo(hmac, CALG_MAC)), kBadKey},
      {"inner HMAC", ErrorOf(SetHmacInfo(hmac, CALG_HMAC)), kBadKey},
      {"inner unknown", ErrorOf(SetHmacInfo(hmac, CALG_RC2)), static_cast<DWORD>(NTE_BAD_ALGID)},
      {"no HMAC_INFO", ErrorOf(CPSetHashParam(Provider(), hmac, HP_HMAC_INFO, nullptr, 0)),
       static_cast<DWORD>(ERROR_INVALID_PARAMETER)},
  };
  for (const auto& c : before) EXPECT_EQ(c.error, c.expected) << c.what;
  EXPECT_EQ(Word(hmac, HP_ALGID), static_cast<DWORD>(CALG_HMAC));

  ASSERT_TRUE(SetHmacInfo(hmac, CALG_SHA1));
  EXPECT_EQ(ErrorOf(SetHmacInfo(hmac, CALG_MD5)), kBadHashState);
  ASSERT_TRUE(Feed(hmac, first_));
  EXPECT_EQ(Value(hmac), tvtest::Hmac64(crypto::kSha1, keyBytes, first_));
}

TEST_F(HashStateTest, DestroyedHandleIsRefused) {
  const HCRYPTHASH hash = Create(CALG_SHA1);
  ASSERT_TRUE(Feed(hash, first_));
  ASSERT_TRUE(CPDestroyHash(Provider(), hash));
  const DWORD badHash = static_cast<DWORD>(NTE_BAD_HASH);
  EXPECT_EQ(ErrorOf(Feed(hash, first_)), badHash);
  EXPECT_EQ(ErrorOf(CPDestroyHash(Provider(), hash)), badHash);
  DWORD length = 0;
  EXPECT_EQ(ErrorOf(CPGetHashParam(Provider(), hash, HP_HASHVAL, nullptr, &length, 0)), badHash);
}

}  // namespace
