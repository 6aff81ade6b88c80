// What the hash contexts promise beyond the digests: any split of the input
// gives the same digest, a byte copy duplicates a running hash, the code
// path may change in the middle of a hash, and final ends the context as
// documented.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "code_path.h"
#include "hashing.h"

namespace tvtest {
namespace {

using tv::crypto::HashAlgorithm;
using tv::crypto::WipingBuffer;

enum class FinalEffect { Wipes, Restarts };

struct HashCase {
  const HashAlgorithm* algorithm;
  FinalEffect finalEffect;
};

const HashCase kHashes[] = {
    {&tv::crypto::kMd2, FinalEffect::Wipes},         {&tv::crypto::kMd4, FinalEffect::Wipes},
    {&tv::crypto::kMd5, FinalEffect::Wipes},         {&tv::crypto::kSha1, FinalEffect::Wipes},
    {&tv::crypto::kSsl3ShaMd5, FinalEffect::Wipes},  {&tv::crypto::kSha256, FinalEffect::Restarts},
    {&tv::crypto::kSha384, FinalEffect::Restarts},   {&tv::crypto::kSha512, FinalEffect::Restarts},
};

using HashParam = std::tuple<HashCase, CodePath>;

std::string HashName(const testing::TestParamInfo<HashParam>& info) {
  std::string name = std::get<0>(info.param).algorithm->name;
  std::replace(name.begin(), name.end(), '-', '_');
  return name + "_" + CodePathName(std::get<1>(info.param));
}

class HashContextTest : public testing::TestWithParam<HashParam> {
 protected:
  const HashAlgorithm& Algorithm() const { return *std::get<0>(GetParam()).algorithm; }

  WipingBuffer StartedContext() const {
    WipingBuffer context(Algorithm().contextSize);
    Algorithm().init(context.Data());
    return context;
  }

  // Several blocks and a partial one for every block size.
  const std::vector<std::uint8_t> message_ = TestMessage(1000);

 private:
  CodePathScope scope_{std::get<1>(GetParam())};
};

TEST_P(HashContextTest, AnySplitOfTheInputGivesTheSameDigest) {
  const std::string expected = DigestHex(Algorithm(), message_);
  for (std::size_t piece : {1, 3, 15, 16, 17, 63, 64, 65, 127, 128, 129, 999}) {
    WipingBuffer context = StartedContext();
    for (std::size_t at = 0; at < message_.size(); at += piece) {
      const std::size_t length = std::min(piece, message_.size() - at);
      Algorithm().update(context.Data(), std::span(message_).subspan(at, length));
    }
    EXPECT_EQ(FinalHex(Algorithm(), context.Data()), expected) << "pieces of " << piece;
  }
}

TEST_P(HashContextTest, ByteCopyFedTheSameDataGivesTheSameDigest) {
  const std::span<const std::uint8_t> message(message_);
  WipingBuffer original = StartedContext();
  Algorithm().update(original.Data(), message.first(333));
  WipingBuffer copy(original.Size());
  std::memcpy(copy.Data(), original.Data(), original.Size());
  // Interleaved, so that a context sharing state with its copy would show.
  for (std::size_t at = 333; at < message.size(); at += 111) {
    const auto piece = message.subspan(at, std::min<std::size_t>(111, message.size() - at));
    Algorithm().update(original.Data(), piece);
    Algorithm().update(copy.Data(), piece);
  }
  const std::string expected = DigestHex(Algorithm(), message);
  EXPECT_EQ(FinalHex(Algorithm(), original.Data()), expected);
  EXPECT_EQ(FinalHex(Algorithm(), copy.Data()), expected);
}

TEST_P(HashContextTest, ByteCopyRunsOnIndependently) {
  const std::span<const std::uint8_t> message(message_);
  WipingBuffer original = StartedContext();
  Algorithm().update(original.Data(), message.first(500));
  WipingBuffer copy(original.Size());
  std::memcpy(copy.Data(), original.Data(), original.Size());
  Algorithm().update(copy.Data(), message.subspan(500));
  const std::string copyDigest = FinalHex(Algorithm(), copy.Data());
  EXPECT_EQ(FinalHex(Algorithm(), original.Data()), DigestHex(Algorithm(), message.first(500)));
  EXPECT_EQ(copyDigest, DigestHex(Algorithm(), message));
}

TEST_P(HashContextTest, FinalWipesOrRestartsTheContext) {
  WipingBuffer context = StartedContext();
  Algorithm().update(context.Data(), message_);
  FinalHex(Algorithm(), context.Data());
  if (std::get<0>(GetParam()).finalEffect == FinalEffect::Wipes) {
    EXPECT_TRUE(std::all_of(context.Data(), context.Data() + context.Size(),
                            [](std::uint8_t b) { return b == 0; }));
  } else {
    Algorithm().update(context.Data(), AsBytes("abc"));
    EXPECT_EQ(FinalHex(Algorithm(), context.Data()), DigestHex(Algorithm(), AsBytes("abc")));
  }
}

INSTANTIATE_TEST_SUITE_P(AllHashes, HashContextTest,
                         testing::Combine(testing::ValuesIn(kHashes),
                                          testing::Values(CodePath::Accelerated, CodePath::Portable)),
                         HashName);

// The accelerated and portable code share one context layout, so a hash may
// start on one and finish on the other.
TEST(HashCodePathTest, RunningHashSurvivesAChangeOfCodePath) {
  const struct {
    const HashAlgorithm* algorithm;
    bool (*acceleratedOn)();
  } cases[] = {{&tv::crypto::kSha1, tv::crypto::cpu::ProcessorHasShaNi},
               {&tv::crypto::kSha256, tv::crypto::cpu::ProcessorHasShaNi},
               {&tv::crypto::kSsl3ShaMd5, tv::crypto::cpu::ProcessorHasShaNi},
               {&tv::crypto::kSha512, tv::crypto::cpu::ProcessorHasAvx2}};
  const std::vector<std::uint8_t> message = TestMessage(1000);
  for (const auto& c : cases) {
    if (!c.acceleratedOn()) continue;
    const HashAlgorithm* algorithm = c.algorithm;
    const std::string expected = DigestHex(*algorithm, message);
    WipingBuffer context(algorithm->contextSize);
    algorithm->init(context.Data());
    {
      CodePathScope accelerated(CodePath::Accelerated);
      algorithm->update(context.Data(), std::span(message).first(300));
    }
    CodePathScope portable(CodePath::Portable);
    algorithm->update(context.Data(), std::span(message).subspan(300));
    EXPECT_EQ(FinalHex(*algorithm, context.Data()), expected) << algorithm->name;
  }
}

}  // namespace
}  // namespace tvtest
