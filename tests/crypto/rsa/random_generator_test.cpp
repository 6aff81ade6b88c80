// The software random generator: HMAC_DRBG known answers, and the
// per-thread life of the generator (seeding, release, independent threads).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "csp/front/process_state.h"
#include "csp/front/random/entropy_record.h"
#include "csp/front/random/hmac_drbg.h"
#include "csp/front/random/random_generator.h"
#include "csp/front/random/thread_instance.h"
#include "rsa/rsa.h"

// The provider allocates this slot at process attach; the tests link the
// generator without the provider, so they own it.
namespace tv::csp {
DWORD ArithmeticSlot = TlsAlloc();
}

namespace {

using Bytes = std::vector<std::uint8_t>;
using tv::csp::HmacDrbg;

Bytes Hex(std::string_view hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes Draw(std::size_t size) {
  Bytes out(size);
  EXPECT_TRUE(tv::csp::GenRandomBytes(out));
  return out;
}

// NIST CAVP HMAC_DRBG, SHA-256, no prediction resistance, no personalization
// or additional input, COUNT = 0: the second 1024-bit output.
TEST(HmacDrbg, MatchesTheNistKnownAnswer) {
  HmacDrbg drbg;
  ASSERT_TRUE(drbg.Instantiate(
      Hex("ca851911349384bffe89de1cbdc46e6831e44d34a4fb935ee285dd14b71a7488"),
      Hex("659ba96c601dc69fc902940805ec0ca8"), {}));
  Bytes out(128);
  ASSERT_TRUE(drbg.Generate(out));
  ASSERT_TRUE(drbg.Generate(out));
  EXPECT_EQ(out, Hex("e528e9abf2dece54d47c7e75e5fe302149f817ea9fb4bee6f4199697d04d5b89"
                     "d54fbb978a15b5c443c9ec21036d2460b6f73ebad0dc2aba6e624abf07745bc1"
                     "07694bb7547bb0995f70de25d6b29e2d3011bb19d27676c07162c8b5ccde0668"
                     "961df86803482cb37ed6d5c0bb8d50cf1f50d476aa0458bdaba806f48be9dcb8"));
}

// Personalization, additional input, a reseed and outputs that are not
// whole blocks; expected values from an independent implementation over
// Python's hmac module.
TEST(HmacDrbg, MixesPersonalizationAdditionalInputAndReseeds) {
  Bytes entropy(32), nonce(16), reseed(32);
  for (int i = 0; i < 32; ++i) entropy[i] = static_cast<std::uint8_t>(i);
  for (int i = 0; i < 16; ++i) nonce[i] = static_cast<std::uint8_t>(32 + i);
  for (int i = 0; i < 32; ++i) reseed[i] = static_cast<std::uint8_t>(64 + i);
  HmacDrbg drbg;
  ASSERT_TRUE(drbg.Instantiate(entropy, nonce, Text("personalization")));
  Bytes first(40);
  ASSERT_TRUE(drbg.Generate(first, Text("first")));
  EXPECT_EQ(first, Hex("75927d2470e9992d6d02319e01780c77c17b570da17d1379ba66ccda1cbc7af8"
                       "dcacc56381aefedf"));
  drbg.Reseed(reseed, Text("reseed"));
  Bytes second(70);
  ASSERT_TRUE(drbg.Generate(second));
  EXPECT_EQ(second, Hex("e8e6420a130657df16e6955c0800fcc453d4af3a845e5939ee92844f7545b05f"
                        "1648a0bd9295d0fcd1d66c7d25f1101dec97844a995c7453a9d99da744379276"
                        "05f3799f24aa"));
}

TEST(HmacDrbg, RefusesToGenerateUnseededWipedOrOversized) {
  HmacDrbg drbg;
  Bytes out(16, 0xEE);
  EXPECT_FALSE(drbg.Generate(out));
  ASSERT_TRUE(drbg.Instantiate(Bytes(32, 1), Bytes(16, 2), {}));
  Bytes huge(HmacDrbg::kMaxRequest + 1);
  EXPECT_FALSE(drbg.Generate(huge));
  drbg.Wipe();
  EXPECT_FALSE(drbg.Generate(out));
  EXPECT_EQ(out, Bytes(16, 0xEE));
}

class RandomGenerator : public ::testing::Test {
 protected:
  void TearDown() override { tv::csp::ReleaseGenerator(); }
};

TEST_F(RandomGenerator, TwoThreadsDrawDifferentStreams) {
  Bytes first;
  Bytes second;
  const tv::csp::EntropyRecord record = tv::csp::GatherEntropyRecord();
  auto drawAfterSeeding = [&record](Bytes& out) {
    ASSERT_TRUE(tv::csp::SeedGenerator(record.Bytes()));  // the same extra input in both
    out = Draw(64);
    tv::csp::ReleaseGenerator();
  };
  std::thread a(drawAfterSeeding, std::ref(first));
  std::thread b(drawAfterSeeding, std::ref(second));
  a.join();
  b.join();
  EXPECT_EQ(first.size(), 64u);
  EXPECT_NE(first, second);
}

TEST_F(RandomGenerator, AThreadNeverSeededDrawsFromItsOwnSeededInstance) {
  Bytes mine = Draw(32);
  Bytes theirs;
  const tv::csp::ThreadInstance* mineInstance = tv::csp::CurrentThreadInstance();
  const tv::csp::ThreadInstance* theirInstance = nullptr;
  std::thread worker([&] {
    theirs = Draw(32);
    theirInstance = tv::csp::CurrentThreadInstance();
    tv::csp::ReleaseGenerator();
  });
  worker.join();
  EXPECT_NE(mineInstance, theirInstance);
  EXPECT_NE(mine, theirs);
  EXPECT_NE(mine, Bytes(32, 0));
}

TEST_F(RandomGenerator, OutputAfterReleaseAndANewSeedDiffers) {
  const Bytes extra = Text("the same extra input twice");
  ASSERT_TRUE(tv::csp::SeedGenerator(extra));
  const Bytes before = Draw(48);
  tv::csp::ReleaseGenerator();
  ASSERT_TRUE(tv::csp::SeedGenerator(extra));
  EXPECT_NE(Draw(48), before);
}

TEST_F(RandomGenerator, ReleaseWipesTheInstanceAndTheNextUseStartsAfresh) {
  ASSERT_TRUE(tv::csp::SeedGenerator({}));
  ASSERT_TRUE(tv::csp::CurrentThreadInstance()->generator.instantiated());
  tv::csp::ReleaseGenerator();
  EXPECT_FALSE(tv::csp::CurrentThreadInstance()->generator.instantiated());
  Draw(1);
  EXPECT_TRUE(tv::csp::CurrentThreadInstance()->generator.instantiated());
}

TEST_F(RandomGenerator, ReseedingWorksWithAndWithoutAPriorSeed) {
  const Bytes keyBytes(72, 0x5A);
  ASSERT_TRUE(tv::csp::ReseedGenerator(keyBytes));  // no seed yet on this thread
  const Bytes first = Draw(32);
  ASSERT_TRUE(tv::csp::ReseedGenerator(keyBytes));
  EXPECT_NE(Draw(32), first);
}

TEST_F(RandomGenerator, DrawsEmptyAndLongerThanOneRequest) {
  EXPECT_TRUE(tv::csp::GenRandomBytes({}));
  const Bytes longDraw = Draw(HmacDrbg::kMaxRequest * 2 + 5);
  // The chunks continue the stream rather than repeat it.
  EXPECT_FALSE(std::equal(longDraw.begin(), longDraw.begin() + 64,
                          longDraw.begin() + HmacDrbg::kMaxRequest));
  EXPECT_NE(Bytes(longDraw.end() - 5, longDraw.end()), Bytes(5, 0));
}

TEST_F(RandomGenerator, FeedsKeyGeneration) {
  tv::csp::GeneratorSource source;
  tv::crypto::RsaKey key;
  tv::csp::ThreadInstance* instance = tv::csp::CurrentThreadInstance();
  ASSERT_TRUE(tv::crypto::RsaGenerate(key, 512, instance->arithmetic, source));
  EXPECT_EQ(key.n.BitLength(), 512u);
}

TEST(EntropyRecord, CarriesTheProcessAndThreadOfTheMoment) {
  const tv::csp::EntropyRecord record = tv::csp::GatherEntropyRecord();
  EXPECT_EQ(record.values[5], GetCurrentProcessId());
  EXPECT_EQ(record.values[7], GetCurrentThreadId());
  EXPECT_LE(record.values[9] - record.values[8], 1000u) << "two tick counts taken together";
  EXPECT_EQ(record.Bytes().size(), 72u);
}

}  // namespace
