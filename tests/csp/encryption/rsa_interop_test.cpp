// RSA encryption with the exchange pair through CryptoAPI, our provider
// next to the platform's "Microsoft Enhanced Cryptographic Provider v1.0"
// (Wine's), which holds the same pair: each decrypts what the other
// encrypted, with PKCS#1 v1.5 padding and with CRYPT_OAEP, for 1024- and
// 2048-bit keys, up to the largest message each padding allows.
//
// Where the peer answers otherwise (each checked below):
// - A ciphertext shorter than the key: the peer decrypts it anyway; ours
//   refuses it (NTE_BAD_DATA) like every other malformed ciphertext.
// - Decrypting with a public key alone: the peer answers NTE_BAD_DATA; ours
//   NTE_BAD_KEY, since no ciphertext could help.
// - A buffer too short for the ciphertext: both answer ERROR_MORE_DATA;
//   ours also gives the length needed, as for session keys.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <utility>
#include <vector>

#include "tests/csp/encryption/capi_handles.h"
#include "tests/support/byte_strings.h"

namespace {

using tvtest::Bytes;
using tvtest::Context;
using tvtest::Key;
using tvtest::Sequence;

constexpr char kOurProvider[] = "Tavrin RSA Cryptographic Provider v1.0";
constexpr BYTE kGuard = 0xC5;

Bytes Export(HCRYPTKEY key, DWORD type) {
  DWORD length = 0;
  EXPECT_TRUE(CryptExportKey(key, 0, type, 0, nullptr, &length)) << std::hex << GetLastError();
  Bytes blob(length);
  EXPECT_TRUE(CryptExportKey(key, 0, type, 0, blob.data(), &length)) << std::hex << GetLastError();
  blob.resize(length);
  return blob;
}

Key Import(HCRYPTPROV provider, const Bytes& blob) {
  HCRYPTKEY key = 0;
  EXPECT_TRUE(CryptImportKey(provider, blob.data(), static_cast<DWORD>(blob.size()), 0, CRYPT_EXPORTABLE, &key))
      << std::hex << GetLastError();
  return Key(key);
}

// 0 on success (the ciphertext in `cipher`), else the error.
DWORD Encrypt(const Key& key, DWORD flags, const Bytes& message, Bytes& cipher, DWORD modulusBytes) {
  cipher = message;
  cipher.resize(modulusBytes);
  DWORD length = static_cast<DWORD>(message.size());
  if (!CryptEncrypt(key.Handle(), 0, TRUE, flags, cipher.data(), &length, modulusBytes)) return GetLastError();
  cipher.resize(length);
  return 0;
}

// 0 on success (the message in `message`), else the error. The ciphertext
// sits in a larger buffer whose bytes past it must stay untouched.
DWORD Decrypt(const Key& key, DWORD flags, const Bytes& cipher, Bytes& message) {
  Bytes buffer = cipher;
  buffer.resize(cipher.size() + 16, kGuard);
  DWORD length = static_cast<DWORD>(cipher.size());
  const DWORD error = CryptDecrypt(key.Handle(), 0, TRUE, flags, buffer.data(), &length) ? 0 : GetLastError();
  EXPECT_EQ(Bytes(buffer.begin() + cipher.size(), buffer.end()), Bytes(16, kGuard)) << "written past the ciphertext";
  if (error) {
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + cipher.size()), cipher) << "a refused ciphertext was changed";
    return error;
  }
  message.assign(buffer.begin(), buffer.begin() + length);
  return 0;
}

struct Padding {
  const char* name;
  DWORD flags;
  DWORD overhead;  // bytes of the block the padding takes at least
};
constexpr Padding kPaddings[] = {{"PKCS#1 v1.5", 0, 11}, {"OAEP", CRYPT_OAEP, 42}};

// Our exchange pair and the same pair in the peer; the peer also holds
// our public key alone.
class RsaInteropTest : public testing::TestWithParam<DWORD> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ours_.Ok()) << "our provider is not registered";
    ASSERT_TRUE(peer_.Ok());
    HCRYPTKEY pair = 0;
    ASSERT_TRUE(CryptGenKey(ours_.Handle(), AT_KEYEXCHANGE, GetParam() << 16 | CRYPT_EXPORTABLE, &pair))
        << std::hex << GetLastError();
    ourPair_ = Key(pair);
    peerPair_ = Import(peer_.Handle(), Export(pair, PRIVATEKEYBLOB));
    ourPublic_ = Import(ours_.Handle(), Export(peerPair_.Handle(), PUBLICKEYBLOB));
  }
  DWORD ModulusBytes() const { return GetParam() / 8; }

  Context ours_{kOurProvider};
  Context peer_{MS_ENHANCED_PROV_A};
  Key ourPair_, peerPair_, ourPublic_;
};

TEST_P(RsaInteropTest, EachDecryptsWhatTheOtherEncrypted) {
  for (const Padding& padding : kPaddings) {
    const DWORD largest = ModulusBytes() - padding.overhead;
    for (DWORD size : {DWORD{0}, DWORD{1}, largest / 2, largest}) {
      SCOPED_TRACE(testing::Message() << padding.name << ", " << size << " bytes");
      const Bytes message = Sequence(size, 0x5A);
      Bytes cipher, decrypted;
      for (const Key* encrypting : {&ourPair_, &ourPublic_}) {
        ASSERT_EQ(Encrypt(*encrypting, padding.flags, message, cipher, ModulusBytes()), 0u);
        EXPECT_EQ(cipher.size(), ModulusBytes());
        ASSERT_EQ(Decrypt(peerPair_, padding.flags, cipher, decrypted), 0u);
        EXPECT_EQ(decrypted, message);
      }
      ASSERT_EQ(Encrypt(peerPair_, padding.flags, message, cipher, ModulusBytes()), 0u);
      ASSERT_EQ(Decrypt(ourPair_, padding.flags, cipher, decrypted), 0u);
      EXPECT_EQ(decrypted, message);
    }
  }
}

TEST_P(RsaInteropTest, OneByteMoreThanThePaddingAllowsIsRefused) {
  for (const Padding& padding : kPaddings) {
    SCOPED_TRACE(padding.name);
    const Bytes message = Sequence(ModulusBytes() - padding.overhead + 1, 1);
    Bytes cipher;
    EXPECT_EQ(Encrypt(ourPair_, padding.flags, message, cipher, ModulusBytes()), static_cast<DWORD>(NTE_BAD_LEN));
    EXPECT_EQ(Encrypt(peerPair_, padding.flags, message, cipher, ModulusBytes()), static_cast<DWORD>(NTE_BAD_LEN));
  }
}

// Every fault of a ciphertext answers the one error, and the caller's
// buffer keeps what it held. The number 1 decrypts to the block 00..01,
// which no padding accepts. A PKCS#1 v1.5 ciphertext is never a valid OAEP
// block, but an OAEP block reads as valid v1.5 padding about once in 430
// keys (00 02, eight non-zero bytes, a zero), so that pairing is only a
// fault for the OAEP decoder.
TEST_P(RsaInteropTest, MalformedCiphertextsAnswerOneError) {
  for (const Padding& padding : kPaddings) {
    SCOPED_TRACE(padding.name);
    Bytes cipher, decrypted;
    ASSERT_EQ(Encrypt(peerPair_, padding.flags, Sequence(20, 7), cipher, ModulusBytes()), 0u);
    Bytes tampered = cipher;
    tampered[ModulusBytes() / 2] ^= 0x01;
    Bytes one(ModulusBytes(), 0);
    one[0] = 1;
    std::vector<Bytes> cases = {tampered, Bytes(ModulusBytes(), 0xFF), one, Bytes(cipher.begin(), cipher.end() - 1)};
    if (padding.flags == CRYPT_OAEP) {
      Bytes pkcs1;
      ASSERT_EQ(Encrypt(peerPair_, 0, Sequence(20, 7), pkcs1, ModulusBytes()), 0u);
      cases.push_back(pkcs1);
    }
    for (const Bytes& bad : cases) {
      EXPECT_EQ(Decrypt(ourPair_, padding.flags, bad, decrypted), static_cast<DWORD>(NTE_BAD_DATA));
    }
    EXPECT_EQ(Decrypt(ourPublic_, padding.flags, cipher, decrypted), static_cast<DWORD>(NTE_BAD_KEY));
  }
}

INSTANTIATE_TEST_SUITE_P(KeyLengths, RsaInteropTest, testing::Values(1024u, 2048u),
                         [](const testing::TestParamInfo<DWORD>& info) { return std::to_string(info.param); });

// What CryptEncrypt answers around an RSA key: the length asked for, a
// short buffer, the flags, the signature pair, and a hash fed on the way.
TEST(RsaEncryptionRules, LengthsFlagsKeysAndHash) {
  Context ours(kOurProvider);
  ASSERT_TRUE(ours.Ok());
  HCRYPTKEY handle = 0;
  ASSERT_TRUE(CryptGenKey(ours.Handle(), AT_KEYEXCHANGE, 512 << 16, &handle));
  Key exchange(handle);
  ASSERT_TRUE(CryptGenKey(ours.Handle(), AT_SIGNATURE, 512 << 16, &handle));
  Key signature(handle);
  BYTE buffer[64] = {};

  DWORD length = 10;
  EXPECT_TRUE(CryptEncrypt(exchange.Handle(), 0, TRUE, 0, nullptr, &length, 0));
  EXPECT_EQ(length, 64u);
  length = 10;
  EXPECT_FALSE(CryptEncrypt(exchange.Handle(), 0, TRUE, 0, buffer, &length, 63));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(length, 64u);
  length = 10;
  EXPECT_FALSE(CryptEncrypt(exchange.Handle(), 0, TRUE, CRYPT_OAEP | 1, buffer, &length, sizeof buffer));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_FLAGS));
  EXPECT_FALSE(CryptEncrypt(signature.Handle(), 0, TRUE, 0, buffer, &length, sizeof buffer));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_KEY));
  length = 64;
  EXPECT_FALSE(CryptDecrypt(signature.Handle(), 0, TRUE, 0, buffer, &length));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_KEY));

  // The hash sees the message on both sides.
  HCRYPTHASH sent = 0, received = 0;
  ASSERT_TRUE(CryptCreateHash(ours.Handle(), CALG_SHA1, 0, 0, &sent));
  ASSERT_TRUE(CryptCreateHash(ours.Handle(), CALG_SHA1, 0, 0, &received));
  const Bytes message = Sequence(20, 3);
  std::copy(message.begin(), message.end(), buffer);
  length = static_cast<DWORD>(message.size());
  ASSERT_TRUE(CryptEncrypt(exchange.Handle(), sent, TRUE, CRYPT_OAEP, buffer, &length, sizeof buffer));
  ASSERT_TRUE(CryptDecrypt(exchange.Handle(), received, TRUE, CRYPT_OAEP, buffer, &length));
  EXPECT_EQ(Bytes(buffer, buffer + length), message);
  BYTE sentValue[20], receivedValue[20], expected[20];
  DWORD size = 20;
  ASSERT_TRUE(CryptGetHashParam(sent, HP_HASHVAL, sentValue, &size, 0));
  ASSERT_TRUE(CryptGetHashParam(received, HP_HASHVAL, receivedValue, &size, 0));
  HCRYPTHASH direct = 0;
  ASSERT_TRUE(CryptCreateHash(ours.Handle(), CALG_SHA1, 0, 0, &direct));
  ASSERT_TRUE(CryptHashData(direct, message.data(), static_cast<DWORD>(message.size()), 0));
  ASSERT_TRUE(CryptGetHashParam(direct, HP_HASHVAL, expected, &size, 0));
  EXPECT_EQ(Bytes(sentValue, sentValue + 20), Bytes(expected, expected + 20));
  EXPECT_EQ(Bytes(receivedValue, receivedValue + 20), Bytes(expected, expected + 20));
  for (HCRYPTHASH hash : {sent, received, direct}) CryptDestroyHash(hash);
}

}  // namespace
