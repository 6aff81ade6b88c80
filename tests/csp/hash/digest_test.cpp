// The digests of the plain hash objects against the platform's own
// provider, over lengths around the block boundaries, fed at once and in
// pieces.
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include "hash_fixture.h"

namespace {

using tvtest::Bytes;

// The platform's AES provider, the oracle of these tests.
class PlatformProvider {
 public:
  PlatformProvider() {
    if (!CryptAcquireContextA(&provider_, nullptr, MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
      provider_ = 0;
  }
  ~PlatformProvider() {
    if (provider_) CryptReleaseContext(provider_, 0);
  }
  PlatformProvider(const PlatformProvider&) = delete;
  PlatformProvider& operator=(const PlatformProvider&) = delete;

  bool Usable() const { return provider_ != 0; }

  Bytes Digest(ALG_ID algorithm, std::span<const std::uint8_t> data) const {
    HCRYPTHASH hash = 0;
    if (!CryptCreateHash(provider_, algorithm, 0, 0, &hash)) return {};
    Bytes value(64);
    DWORD length = static_cast<DWORD>(value.size());
    const bool ok = CryptHashData(hash, data.data(), static_cast<DWORD>(data.size()), 0) &&
                    CryptGetHashParam(hash, HP_HASHVAL, value.data(), &length, 0);
    CryptDestroyHash(hash);
    if (!ok) return {};
    value.resize(length);
    return value;
  }

 private:
  HCRYPTPROV provider_ = 0;
};

constexpr ALG_ID kPlainAlgorithms[] = {CALG_MD2,     CALG_MD4,     CALG_MD5,    CALG_SHA1,
                                       CALG_SHA_256, CALG_SHA_384, CALG_SHA_512};
// Empty, short, and around the 64- and 128-byte blocks and their padding.
constexpr std::size_t kLengths[] = {0, 1, 3, 15, 16, 17, 55, 56, 63, 64, 65, 111, 112, 119, 120, 127, 128, 129, 1000};

class DigestTest : public tvtest::HashFixture {};

TEST_F(DigestTest, PlainDigestsEqualThePlatformProvider) {
  const PlatformProvider platform;
  ASSERT_TRUE(platform.Usable()) << GetLastError();
  for (ALG_ID algorithm : kPlainAlgorithms) {
    for (std::size_t length : kLengths) {
      const Bytes data = tvtest::Pattern(length, static_cast<std::uint8_t>(length));
      const Bytes expected = platform.Digest(algorithm, data);
      ASSERT_FALSE(expected.empty()) << std::hex << algorithm;
      EXPECT_EQ(DigestOf(algorithm, data), expected) << std::hex << algorithm << std::dec << " length " << length;

      const HCRYPTHASH pieces = Create(algorithm);
      ASSERT_TRUE(FeedInPieces(pieces, data, 7));
      EXPECT_EQ(Value(pieces), expected) << std::hex << algorithm << std::dec << " in pieces, length " << length;
    }
  }
}

// The platform's SSL3 hash takes no data, so its halves are checked instead.
TEST_F(DigestTest, Ssl3ShaMd5IsMd5FollowedBySha1) {
  const PlatformProvider platform;
  ASSERT_TRUE(platform.Usable()) << GetLastError();
  for (std::size_t length : {0u, 3u, 64u, 200u}) {
    const Bytes data = tvtest::Pattern(length);
    const Bytes expected = tvtest::Concat(platform.Digest(CALG_MD5, data), platform.Digest(CALG_SHA1, data));
    ASSERT_EQ(expected.size(), 36u);
    EXPECT_EQ(DigestOf(CALG_SSL3_SHAMD5, data), expected) << "length " << length;
  }
}

TEST_F(DigestTest, HashSizeAndAlgorithmAreReported) {
  const struct {
    ALG_ID algorithm;
    DWORD size;
  } cases[] = {{CALG_MD2, 16},     {CALG_MD4, 16},     {CALG_MD5, 16},     {CALG_SHA1, 20},
               {CALG_SHA_256, 32}, {CALG_SHA_384, 48}, {CALG_SHA_512, 64}, {CALG_SSL3_SHAMD5, 36}};
  for (const auto& c : cases) {
    const HCRYPTHASH hash = Create(c.algorithm);
    ASSERT_NE(hash, 0u) << std::hex << c.algorithm;
    EXPECT_EQ(Word(hash, HP_ALGID), c.algorithm);
    EXPECT_EQ(Word(hash, HP_HASHSIZE), c.size) << std::hex << c.algorithm;
    EXPECT_EQ(Value(hash).size(), c.size) << std::hex << c.algorithm;
  }
}

}  // namespace
