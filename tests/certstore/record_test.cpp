// The certificate record and the key-provider blob as they are kept on the
// Key, and the checks that every length read back passes.
#include <gtest/gtest.h>

#include <numeric>

#include "certstore/cert_record.h"
#include "certstore/prov_info_blob.h"

using namespace tv::certstore;

namespace {

std::vector<BYTE> Filled(std::size_t n, BYTE start = 1) {
  std::vector<BYTE> bytes(n);
  std::iota(bytes.begin(), bytes.end(), start);
  return bytes;
}

const std::vector<BYTE> kHash = Filled(20, 0xA0);

RecordHeader HeaderOf(const std::vector<BYTE>& record) {
  BYTE first[kRecordHeaderLength];
  std::copy_n(record.begin(), kRecordHeaderLength, first);
  return ReadRecordHeader(first);
}

TEST(CertRecord, IntermediateOf1000BytesIs1048BytesWithItsLengthFields) {
  const std::vector<BYTE> certificate = Filled(1000);
  const std::vector<BYTE> record = BuildCertRecord(StoreType::Intermediate, certificate, kHash);
  ASSERT_EQ(record.size(), 1048u);
  const RecordHeader header = HeaderOf(record);
  EXPECT_EQ(header.storeType, 2u);
  EXPECT_EQ(header.lengthAfter8, 1040u);
  EXPECT_EQ(header.lengthAfter12, 1036u);
  EXPECT_EQ(ReadU32(record.data() + 12), 300u);
  EXPECT_EQ(header.certificateLength, 1000u);
  EXPECT_EQ(ReadU32(record.data() + 1020), 3u);
  EXPECT_EQ(ReadU32(record.data() + 1024), 20u);

  const auto view = ParseCertRecord(record);
  ASSERT_TRUE(view);
  EXPECT_EQ(view->type, StoreType::Intermediate);
  EXPECT_TRUE(std::equal(view->certificate.begin(), view->certificate.end(), certificate.begin(), certificate.end()));
  EXPECT_TRUE(std::equal(view->hash.begin(), view->hash.end(), kHash.begin(), kHash.end()));
  EXPECT_TRUE(view->provInfoBlob.empty());
}

TEST(CertRecord, PersonalRecordCarriesItsProvInfoBlob) {
  const std::vector<BYTE> blob = Filled(60, 7);
  const std::vector<BYTE> record = BuildCertRecord(StoreType::Personal, Filled(500), kHash, blob);
  ASSERT_EQ(record.size(), 500u + 56 + 60);
  EXPECT_EQ(ReadU32(record.data() + 548), 2u);
  EXPECT_EQ(ReadU32(record.data() + 552), 60u);
  const auto view = ParseCertRecord(record);
  ASSERT_TRUE(view);
  EXPECT_TRUE(std::equal(view->provInfoBlob.begin(), view->provInfoBlob.end(), blob.begin(), blob.end()));
}

TEST(CertRecord, NothingPassesTheSizeOfOneCacheEntry) {
  EXPECT_EQ(BuildCertRecord(StoreType::Root, Filled(2952), kHash).size(), 3000u);
  EXPECT_TRUE(BuildCertRecord(StoreType::Root, Filled(2953), kHash).empty());
  EXPECT_TRUE(BuildCertRecord(StoreType::Personal, Filled(2900), kHash, Filled(60)).empty());
  EXPECT_TRUE(BuildCertRecord(StoreType::Root, Filled(100), Filled(19)).empty());
}

// Headers read from a Key: only consistent lengths that fit the data left
// and one cache entry give a record length.
TEST(CertRecord, ImpossibleLengthFieldsAreRefused) {
  struct Case {
    const char* what;
    RecordHeader header;
    DWORD room;
    DWORD expected;
  };
  const Case cases[] = {
      {"sound", {2, 1040, 1036, 1000}, 5000, 1048},
      {"exactly the room left", {2, 1040, 1036, 1000}, 1048, 1048},
      {"longer than the room left", {2, 1040, 1036, 1000}, 1047, 0},
      {"zero lengthAfter8", {2, 0, 0, 0}, 5000, 0},
      {"lengthAfter8 wraps the offset", {2, 0xFFFFFFF8, 0xFFFFFFF4, 0}, 0xFFFFFFFF, 0},
      {"beyond one cache entry", {2, 2993, 2989, 2945}, 0xFFFFFFFF, 0},
      {"lengthAfter12 disagrees", {2, 1040, 1040, 1000}, 5000, 0},
      {"certificate longer than the record", {2, 1040, 1036, 1001}, 5000, 0},
      {"shorter than an empty record", {2, 39, 35, 0}, 5000, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckedRecordLength(c.header, c.room), c.expected) << c.what;
}

TEST(CertRecord, RecordsWhoseInnerLengthsDisagreeAreRefused) {
  const std::vector<BYTE> personal = BuildCertRecord(StoreType::Personal, Filled(300), kHash, Filled(40));
  const std::vector<BYTE> root = BuildCertRecord(StoreType::Root, Filled(300), kHash);
  struct Case {
    const char* what;
    std::vector<BYTE> record;
    std::size_t at;
    DWORD value;
  };
  const Case cases[] = {
      {"hash property id", root, 320, 4},
      {"hash length", root, 324, 21},
      {"provinfo property id", personal, 348, 3},
      {"provinfo length too long", personal, 352, 41},
      {"provinfo length too short", personal, 352, 39},
      {"root type on a personal record", personal, 0, 3},
      {"personal type on a root record", root, 0, 1},
  };
  for (Case c : cases) {
    WriteU32(c.record.data() + c.at, c.value);
    EXPECT_FALSE(ParseCertRecord(c.record)) << c.what;
  }
  EXPECT_FALSE(ParseCertRecord(Bytes(root.data(), 19)));
}

CRYPT_KEY_PROV_INFO ProvInfo(const wchar_t* container, const wchar_t* provider) {
  CRYPT_KEY_PROV_INFO info = {};
  info.pwszContainerName = const_cast<wchar_t*>(container);
  info.pwszProvName = const_cast<wchar_t*>(provider);
  info.dwProvType = PROV_RSA_FULL;
  info.dwFlags = 0x20;
  info.dwKeySpec = AT_KEYEXCHANGE;
  return info;
}

std::vector<BYTE> Serialised(const CRYPT_KEY_PROV_INFO& info, DWORD room = kProvInfoBufferSize) {
  std::vector<BYTE> out(room);
  DWORD length = room;
  EXPECT_TRUE(SerializeProvInfo(CERT_KEY_PROV_INFO_PROP_ID, &info, out.data(), &length));
  out.resize(length);
  return out;
}

TEST(ProvInfoBlob, SerialisesToTheKeptLayoutAndBack) {
  const std::vector<BYTE> blob = Serialised(ProvInfo(L"box", L"Prov"));
  ASSERT_EQ(blob.size(), 6u + 8 + 28);
  EXPECT_EQ(ReadU32(blob.data()), 6u);
  EXPECT_EQ(ReadU32(blob.data() + 10), 8u);
  EXPECT_EQ(ReadU32(blob.data() + 22), static_cast<DWORD>(PROV_RSA_FULL));
  EXPECT_EQ(ReadU32(blob.data() + 26), 0x20u);
  EXPECT_EQ(ReadU32(blob.data() + 38), static_cast<DWORD>(AT_KEYEXCHANGE));

  alignas(CRYPT_KEY_PROV_INFO) BYTE out[kProvInfoBufferSize];
  DWORD length = sizeof out;
  ASSERT_TRUE(UnserializeProvInfo(CERT_KEY_PROV_INFO_PROP_ID, blob, out, &length));
  const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(out);
  EXPECT_STREQ(info->pwszContainerName, L"box");
  EXPECT_STREQ(info->pwszProvName, L"Prov");
  EXPECT_EQ(info->dwProvType, static_cast<DWORD>(PROV_RSA_FULL));
  EXPECT_EQ(info->dwFlags, 0x20u);
  EXPECT_EQ(info->cProvParam, 0u);
  EXPECT_EQ(info->dwKeySpec, static_cast<DWORD>(AT_KEYEXCHANGE));
  EXPECT_EQ(length, sizeof(CRYPT_KEY_PROV_INFO) + 8 + 10);
}

TEST(ProvInfoBlob, SerialiseRefusesWhatItCannotKeep) {
  CRYPT_KEY_PROV_INFO info = ProvInfo(L"box", L"Prov");
  BYTE out[kProvInfoBufferSize];
  DWORD length = 41;
  EXPECT_FALSE(SerializeProvInfo(CERT_KEY_PROV_INFO_PROP_ID, &info, out, &length));
  length = sizeof out;
  EXPECT_FALSE(SerializeProvInfo(CERT_FRIENDLY_NAME_PROP_ID, &info, out, &length));
  EXPECT_FALSE(SerializeProvInfo(CERT_KEY_PROV_INFO_PROP_ID, nullptr, out, &length));
  info.cProvParam = 1;
  EXPECT_FALSE(SerializeProvInfo(CERT_KEY_PROV_INFO_PROP_ID, &info, out, &length));
}

// Blobs read from a Key: lengths that do not add up, or a result that does
// not fit, are refused without reading or writing past anything.
TEST(ProvInfoBlob, UnserialiseChecksBothLengthsAgainstBlobAndOutput) {
  const std::vector<BYTE> sound = Serialised(ProvInfo(L"box", L"Prov"));
  struct Case {
    const char* what;
    std::size_t at;  // where a lying length goes; SIZE_MAX: the blob cut
    DWORD value;
  };
  const Case cases[] = {
      {"container longer than the blob", 0, 0x1000},
      {"container length wraps", 0, 0xFFFFFFFE},
      {"odd container length", 0, 5},
      {"provider longer than the blob", 10, 10},
      {"provider length wraps", 10, 0xFFFFFFFC},
      {"blob cut", SIZE_MAX, 0},
  };
  for (const Case& c : cases) {
    std::vector<BYTE> blob = sound;
    if (c.at == SIZE_MAX)
      blob.pop_back();
    else
      WriteU32(blob.data() + c.at, c.value);
    alignas(CRYPT_KEY_PROV_INFO) BYTE out[kProvInfoBufferSize];
    DWORD length = sizeof out;
    EXPECT_FALSE(UnserializeProvInfo(CERT_KEY_PROV_INFO_PROP_ID, blob, out, &length)) << c.what;
  }

  // Strings that fit the blob but not the 512-byte output.
  const std::wstring longName(250, L'n');
  const std::vector<BYTE> big = Serialised(ProvInfo(longName.c_str(), L"Prov"), 1024);
  alignas(CRYPT_KEY_PROV_INFO) BYTE out[kProvInfoBufferSize];
  DWORD length = sizeof out;
  EXPECT_FALSE(UnserializeProvInfo(CERT_KEY_PROV_INFO_PROP_ID, big, out, &length));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
}

}  // namespace
