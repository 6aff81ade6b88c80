// Key blobs between our provider and the platform's Enhanced providers,
// through CryptoAPI: public and private key blobs exported by either one
// import into the other, which then exports the very same blobs and signs,
// verifies and unwraps alike; session keys wrapped by either one under the
// other's exchange key unwrap there into a key that encrypts the same.
//
// Block ciphers are compared in CBC (from a chosen IV) and ECB with PKCS#5
// padding; the feedback modes and the other paddings, where the platform's
// providers differ, are compared in the encryption interop test.
//
// Differences that follow from our rules, stated by the tests:
// - a salted RC2 key travels with its salt (key and salt together), so the
//   peer unwraps a 128-bit key and must be told the effective length;
// - the Enhanced providers encrypt a PRIVATEKEYBLOB under an export key,
//   while we refuse to write one other than in the clear (key_blob_test).
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "capi_session.h"

namespace {

using tvtest::CapiSession;
using Bytes = CapiSession::Bytes;

struct Peer {
  const tvtest::ProviderName* provider;
  std::vector<ALG_ID> sessionAlgorithms;
};

const Peer kPeers[] = {
    {&tvtest::kEnhanced, {CALG_DES, CALG_3DES_112, CALG_3DES, CALG_RC2, CALG_RC4}},
    {&tvtest::kEnhancedAes,
     {CALG_DES, CALG_3DES_112, CALG_3DES, CALG_RC2, CALG_RC4, CALG_AES_128, CALG_AES_192, CALG_AES_256}},
};

std::string PeerName(const Peer& peer) { return peer.provider->type == PROV_RSA_AES ? "Aes" : "Enhanced"; }

const Bytes kMessage = {'k', 'e', 'y', ' ', 'b', 'l', 'o', 'b', 's', ' ', 'a', 'c', 'r', 'o', 's', 's', ' ',
                        'p', 'r', 'o', 'v', 'i', 'd', 'e', 'r', 's', ',', ' ', 'n', 'o', 't', ' ', 'a', 'l', 'i',
                        'g', 'n'};

class KeyBlobInteropTest : public ::testing::TestWithParam<Peer> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ours_.ok()) << std::hex << GetLastError();
    ASSERT_TRUE(theirs_.ok()) << std::hex << GetLastError();
  }

  CapiSession ours_{tvtest::kOurs};
  CapiSession theirs_{*GetParam().provider};
};

struct PairCase {
  DWORD keySpec;
  DWORD bits;
};

// A pair made by `origin` goes to `other` as a PRIVATEKEYBLOB; its public
// blob goes there too. Everything done with the pair on one side must come
// out the same on the other.
void ExpectPairTravels(CapiSession& origin, CapiSession& other, const PairCase& c) {
  const std::string what = std::string(origin.label()) + " -> " + other.label() + ", key spec " +
                           std::to_string(c.keySpec) + ", " + std::to_string(c.bits) + " bits";
  const HCRYPTKEY pair = origin.GenKey(c.keySpec, c.bits << 16 | CRYPT_EXPORTABLE);
  ASSERT_NE(pair, 0u) << what;
  const Bytes privateBlob = origin.Export(pair, PRIVATEKEYBLOB);
  const Bytes publicBlob = origin.Export(pair, PUBLICKEYBLOB);
  ASSERT_TRUE(!privateBlob.empty() && !publicBlob.empty()) << what;

  const HCRYPTKEY imported = other.Import(privateBlob, 0, CRYPT_EXPORTABLE);
  ASSERT_NE(imported, 0u) << what << " " << std::hex << GetLastError();
  EXPECT_EQ(other.Export(imported, PRIVATEKEYBLOB), privateBlob) << what;
  EXPECT_EQ(other.Export(imported, PUBLICKEYBLOB), publicBlob) << what;

  // PKCS#1 v1.5 signatures are deterministic: the same key signs the same
  // bytes on both sides, and each side's public key takes the other's.
  const Bytes signature = origin.Sign(CALG_SHA1, kMessage, c.keySpec);
  ASSERT_EQ(signature.size(), c.bits / 8) << what;
  EXPECT_EQ(other.Sign(CALG_SHA1, kMessage, c.keySpec), signature) << what;
  const HCRYPTKEY publicKey = other.Import(publicBlob);
  ASSERT_NE(publicKey, 0u) << what;
  EXPECT_TRUE(other.Verify(CALG_SHA1, kMessage, signature, publicKey)) << what;

  if (c.keySpec != AT_KEYEXCHANGE) return;
  const HCRYPTKEY session = origin.GenKey(CALG_3DES, CRYPT_EXPORTABLE);
  ASSERT_NE(session, 0u) << what;
  const HCRYPTKEY unwrapped = other.Import(origin.Export(session, SIMPLEBLOB, pair), imported);
  ASSERT_NE(unwrapped, 0u) << what << " " << std::hex << GetLastError();
  EXPECT_EQ(other.Encrypt(unwrapped, kMessage), origin.Encrypt(session, kMessage)) << what;
}

TEST_P(KeyBlobInteropTest, PairBlobsTravelBothWaysAndWorkAlike) {
  for (const PairCase& c : {PairCase{AT_KEYEXCHANGE, 1024}, PairCase{AT_SIGNATURE, 1024}, PairCase{AT_KEYEXCHANGE, 2048}}) {
    ExpectPairTravels(ours_, theirs_, c);
    ExpectPairTravels(theirs_, ours_, c);
  }
}

// `mode` from an IV of recognisable bytes (the length of the largest block;
// a provider reads only its block's worth).
void UseMode(HCRYPTKEY key, DWORD mode) {
  static const BYTE kIv[16] = {0xA5, 0x5A, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06,
                               0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E};
  ASSERT_TRUE(CryptSetKeyParam(key, KP_MODE, reinterpret_cast<const BYTE*>(&mode), 0)) << std::hex << GetLastError();
  ASSERT_TRUE(CryptSetKeyParam(key, KP_IV, kIv, 0)) << std::hex << GetLastError();
}

// `wrapper` wraps a new session key of each algorithm under the exchange
// key of `unwrapper`, who unwraps it.
void ExpectSessionKeysUnwrap(CapiSession& wrapper, CapiSession& unwrapper, const std::vector<ALG_ID>& algorithms) {
  const HCRYPTKEY exchange = unwrapper.GenKey(AT_KEYEXCHANGE, 1024 << 16);
  ASSERT_NE(exchange, 0u);
  const HCRYPTKEY wrapping = wrapper.Import(unwrapper.Export(exchange, PUBLICKEYBLOB));
  ASSERT_NE(wrapping, 0u);
  for (ALG_ID algorithm : algorithms) {
    const std::string what =
        std::string(wrapper.label()) + " -> " + unwrapper.label() + ", algorithm " + std::to_string(algorithm);
    const HCRYPTKEY session = wrapper.GenKey(algorithm, CRYPT_EXPORTABLE);
    ASSERT_NE(session, 0u) << what;
    const Bytes blob = wrapper.Export(session, SIMPLEBLOB, wrapping);
    EXPECT_EQ(blob.size(), 8u + 4 + 128) << what;
    const HCRYPTKEY unwrapped = unwrapper.Import(blob, exchange);
    ASSERT_NE(unwrapped, 0u) << what << " " << std::hex << GetLastError();
    if (algorithm == CALG_RC4) {
      const Bytes expected = wrapper.Encrypt(session, kMessage);
      ASSERT_FALSE(expected.empty()) << what;
      EXPECT_EQ(unwrapper.Encrypt(unwrapped, kMessage), expected) << what;
      continue;
    }
    for (const DWORD mode : {CRYPT_MODE_CBC, CRYPT_MODE_ECB}) {
      UseMode(session, mode);
      UseMode(unwrapped, mode);
      const Bytes expected = wrapper.Encrypt(session, kMessage);
      ASSERT_FALSE(expected.empty()) << what << ", mode " << mode;
      EXPECT_EQ(unwrapper.Encrypt(unwrapped, kMessage), expected) << what << ", mode " << mode;
    }
  }
}

TEST_P(KeyBlobInteropTest, SessionKeysUnwrapInTheOtherProvider) {
  ExpectSessionKeysUnwrap(ours_, theirs_, GetParam().sessionAlgorithms);
  ExpectSessionKeysUnwrap(theirs_, ours_, GetParam().sessionAlgorithms);
}

// Our SIMPLEBLOB of a salted key carries key and salt: a 40-bit RC2 key with
// 11 bytes of salt arrives as a 128-bit key, which encrypts as ours once
// its effective length is set to the 40 bits ours uses.
TEST_P(KeyBlobInteropTest, SaltedRc2KeyArrivesWithItsSalt) {
  const HCRYPTKEY exchange = theirs_.GenKey(AT_KEYEXCHANGE, 1024 << 16);
  const HCRYPTKEY wrapping = ours_.Import(theirs_.Export(exchange, PUBLICKEYBLOB));
  const HCRYPTKEY salted = ours_.GenKey(CALG_RC2, 40 << 16 | CRYPT_CREATE_SALT | CRYPT_EXPORTABLE);
  ASSERT_TRUE(exchange && wrapping && salted);
  const HCRYPTKEY unwrapped = theirs_.Import(ours_.Export(salted, SIMPLEBLOB, wrapping), exchange);
  ASSERT_NE(unwrapped, 0u) << std::hex << GetLastError();
  EXPECT_EQ(theirs_.KeyParam(unwrapped, KP_KEYLEN), 128u);
  const DWORD effective = 40;
  ASSERT_TRUE(CryptSetKeyParam(unwrapped, KP_EFFECTIVE_KEYLEN, reinterpret_cast<const BYTE*>(&effective), 0));
  EXPECT_EQ(theirs_.Encrypt(unwrapped, kMessage), ours_.Encrypt(salted, kMessage));
}

INSTANTIATE_TEST_SUITE_P(Peers, KeyBlobInteropTest, ::testing::ValuesIn(kPeers),
                         [](const auto& info) { return PeerName(info.param); });

}  // namespace
