// Signatures made by our provider verify in the platform's Enhanced
// providers and theirs in ours, through CryptoAPI: MD5 and SHA-1 with the
// Enhanced provider, the SHA-2 family too with the AES one, 1024- and
// 2048-bit keys, with and without CRYPT_NOHASHOID. Both sides agree on what
// each flag accepts: a signature without an identifier verifies either way,
// one with an identifier only without the flag.
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
  std::vector<ALG_ID> hashes;
};

const Peer kPeers[] = {
    {&tvtest::kEnhanced, {CALG_MD5, CALG_SHA1}},
    {&tvtest::kEnhancedAes, {CALG_MD5, CALG_SHA1, CALG_SHA_256, CALG_SHA_384, CALG_SHA_512}},
};

const Bytes kMessage = {'i', 'n', 't', 'e', 'r', 'o', 'p'};

class SignatureInteropTest : public ::testing::TestWithParam<std::tuple<Peer, DWORD>> {};

// Signs with `signer`'s new pair and verifies in `verifier` with the public
// key blob `signer` exported, for every hash and pair of flags.
void ExpectVerifiedAcross(CapiSession& signer, CapiSession& verifier, const std::vector<ALG_ID>& hashes,
                          DWORD bits) {
  const HCRYPTKEY pair = signer.GenKey(AT_SIGNATURE, bits << 16);
  ASSERT_NE(pair, 0u) << signer.label() << " " << std::hex << GetLastError();
  const HCRYPTKEY publicKey = verifier.Import(signer.Export(pair, PUBLICKEYBLOB));
  ASSERT_NE(publicKey, 0u) << verifier.label() << " " << std::hex << GetLastError();
  const Bytes otherMessage = {'o', 't', 'h', 'e', 'r'};
  for (ALG_ID hash : hashes) {
    for (DWORD signFlags : {0ul, static_cast<unsigned long>(CRYPT_NOHASHOID)}) {
      const Bytes signature = signer.Sign(hash, kMessage, AT_SIGNATURE, signFlags);
      ASSERT_EQ(signature.size(), bits / 8) << signer.label() << " hash " << std::hex << hash;
      for (DWORD verifyFlags : {0ul, static_cast<unsigned long>(CRYPT_NOHASHOID)}) {
        const bool expected = signFlags == CRYPT_NOHASHOID || verifyFlags == 0;
        const std::string what = std::string(signer.label()) + " -> " + verifier.label() + ", hash " +
                                 std::to_string(hash) + ", signed with " + std::to_string(signFlags) +
                                 ", verified with " + std::to_string(verifyFlags);
        EXPECT_EQ(verifier.Verify(hash, kMessage, signature, publicKey, verifyFlags), expected) << what;
        EXPECT_FALSE(verifier.Verify(hash, otherMessage, signature, publicKey, verifyFlags)) << what;
      }
    }
  }
}

TEST_P(SignatureInteropTest, SignaturesVerifyInTheOtherProvider) {
  const auto& [peer, bits] = GetParam();
  CapiSession ours(tvtest::kOurs), theirs(*peer.provider);
  ASSERT_TRUE(ours.ok()) << std::hex << GetLastError();
  ASSERT_TRUE(theirs.ok()) << std::hex << GetLastError();
  ExpectVerifiedAcross(ours, theirs, peer.hashes, bits);
  ExpectVerifiedAcross(theirs, ours, peer.hashes, bits);
}

INSTANTIATE_TEST_SUITE_P(PeersAndSizes, SignatureInteropTest,
                         ::testing::Combine(::testing::ValuesIn(kPeers), ::testing::Values(1024ul, 2048ul)),
                         [](const auto& info) {
                           const Peer& peer = std::get<0>(info.param);
                           return std::string(peer.provider->type == PROV_RSA_AES ? "Aes" : "Enhanced") +
                                  std::to_string(std::get<1>(info.param));
                         });

}  // namespace
