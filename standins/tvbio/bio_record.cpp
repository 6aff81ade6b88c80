#include "standins/tvbio/bio_record.h"

#include <algorithm>
#include <array>

#include "hash/hash.h"
#include "standins/tvkey32/store/os_random.h"

namespace tv::bio {
namespace {

constexpr std::array<std::uint8_t, 4> kMagic = {'T', 'V', 'B', '1'};
constexpr std::size_t kSaltSize = 16;
constexpr std::size_t kDigestSize = 32;

void SaltedDigest(std::span<const std::uint8_t> salt, std::string_view phrase, std::uint8_t* digest) {
  const crypto::HashAlgorithm& sha256 = crypto::kSha256;
  keysim::SecretBytes context(sha256.contextSize);
  sha256.init(context.data());
  sha256.update(context.data(), salt);
  sha256.update(context.data(), {reinterpret_cast<const std::uint8_t*>(phrase.data()), phrase.size()});
  sha256.final(context.data(), digest);
}

}  // namespace

std::optional<keysim::SecretBytes> MakeRecord(std::string_view phrase) {
  keysim::SecretBytes record(kRecordSize);
  std::copy(kMagic.begin(), kMagic.end(), record.begin());
  const std::span<std::uint8_t> salt(record.data() + kMagic.size(), kSaltSize);
  if (!keysim::FillRandom(salt)) return std::nullopt;
  SaltedDigest(salt, phrase, record.data() + kMagic.size() + kSaltSize);
  return record;
}

bool IsRecord(std::span<const std::uint8_t> record) {
  return record.size() == kRecordSize && std::equal(kMagic.begin(), kMagic.end(), record.begin());
}

RecordMatch MatchRecord(std::span<const std::uint8_t> record, std::string_view phrase) {
  if (!IsRecord(record)) return RecordMatch::Malformed;
  keysim::SecretBytes digest(kDigestSize);
  SaltedDigest(record.subspan(kMagic.size(), kSaltSize), phrase, digest.data());
  const auto stored = record.subspan(kMagic.size() + kSaltSize);
  const std::string_view a(reinterpret_cast<const char*>(stored.data()), stored.size());
  return keysim::EqualInConstantTime(a, keysim::AsText(digest)) ? RecordMatch::Match : RecordMatch::Mismatch;
}

}  // namespace tv::bio
