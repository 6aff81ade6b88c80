// The stored key record and the key fields it shares with key blobs.
#include "csp/storage/stored_key_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "csp/crypto/cpu/byte_order.h"
#include "csp/storage/key_fields.h"
#include "tests/csp/storage/test_keys.h"
#include "tests/support/byte_strings.h"

namespace {

using tv::crypto::Arithmetic;
using tv::crypto::BigNum;
using tv::crypto::RsaKey;
using tv::csp::DecodeStoredKeyRecord;
using tv::csp::EncodeStoredKeyRecord;
using tv::csp::StoredKeyRecordSize;
using tvtest::Bytes;
using tvtest::Slice;

constexpr std::uint8_t kUntouched = 0xCC;

std::uint32_t U32At(const Bytes& bytes, std::size_t offset) {
  return tv::crypto::LoadLittleEndian32(bytes.data() + offset);
}

Bytes Encode(const RsaKey& key, std::uint32_t bits, bool withPrivate) {
  Bytes record(StoredKeyRecordSize(bits, withPrivate));
  EXPECT_TRUE(EncodeStoredKeyRecord(key, bits, withPrivate, record));
  return record;
}

void ExpectSameNumber(const BigNum& actual, const BigNum& expected, const char* what) {
  EXPECT_EQ(tvtest::BigEndian(actual), tvtest::BigEndian(expected)) << what;
}

struct RecordShape {
  std::uint32_t bits;
  std::size_t fieldLength;
  std::size_t publicSize;
  std::size_t privateSize;
};

class RecordShapeTest : public testing::TestWithParam<RecordShape> {};

TEST_P(RecordShapeTest, PrivateRecordLayout) {
  const RecordShape shape = GetParam();
  const RsaKey key = tvtest::MakeTestKey(shape.bits, shape.bits);
  const std::size_t n = shape.fieldLength;
  ASSERT_EQ(StoredKeyRecordSize(shape.bits, true), shape.privateSize);
  Bytes buffer(shape.privateSize + 8, kUntouched);
  ASSERT_TRUE(EncodeStoredKeyRecord(key, shape.bits, true, buffer));

  EXPECT_EQ(U32At(buffer, 0), 0x32415352u);  // "RSA2"
  EXPECT_EQ(U32At(buffer, 4), n);
  EXPECT_EQ(U32At(buffer, 8), shape.bits);
  EXPECT_EQ(U32At(buffer, 12), shape.bits / 8 - 1);
  EXPECT_EQ(U32At(buffer, 16), 65537u);
  const struct {
    const BigNum& number;
    std::size_t offset;
    std::size_t width;
    const char* name;
  } fields[] = {
      {key.n, 20, n, "modulus"},           {key.p, 20 + n, n / 2, "prime1"},
      {key.q, 20 + 3 * n / 2, n / 2, "prime2"}, {key.dp, 20 + 2 * n, n / 2, "exponent1"},
      {key.dq, 20 + 5 * n / 2, n / 2, "exponent2"}, {key.qinv, 20 + 3 * n, n / 2, "coefficient"},
      {key.d, 20 + 7 * n / 2, n, "privateExponent"},
  };
  for (const auto& field : fields)
    EXPECT_EQ(Slice(buffer, field.offset, field.width), tvtest::LittleEndianField(field.number, field.width))
        << field.name;
  EXPECT_EQ(Slice(buffer, 20 + 9 * n / 2, n / 2), Bytes(n / 2, 0)) << "tail";
  EXPECT_EQ(Slice(buffer, shape.privateSize, 8), Bytes(8, kUntouched)) << "past the record";
}

TEST_P(RecordShapeTest, PublicRecordLayout) {
  const RecordShape shape = GetParam();
  const RsaKey key = tvtest::MakeTestKey(shape.bits, shape.bits);
  ASSERT_EQ(StoredKeyRecordSize(shape.bits, false), shape.publicSize);
  const Bytes record = Encode(key, shape.bits, false);
  EXPECT_EQ(U32At(record, 0), 0x31415352u);  // "RSA1"
  EXPECT_EQ(U32At(record, 4), shape.fieldLength);
  EXPECT_EQ(Slice(record, 20, shape.fieldLength), tvtest::LittleEndianField(key.n, shape.fieldLength));
}

TEST_P(RecordShapeTest, PrivateRecordRoundTrip) {
  const RecordShape shape = GetParam();
  const RsaKey key = tvtest::MakeTestKey(shape.bits, shape.bits + 100);
  RsaKey decoded;
  std::uint32_t bits = 0;
  ASSERT_TRUE(DecodeStoredKeyRecord(Encode(key, shape.bits, true), decoded, bits));
  EXPECT_EQ(bits, shape.bits);
  ExpectSameNumber(decoded.e, key.e, "e");
  ExpectSameNumber(decoded.n, key.n, "n");
  ExpectSameNumber(decoded.p, key.p, "p");
  ExpectSameNumber(decoded.q, key.q, "q");
  ExpectSameNumber(decoded.dp, key.dp, "dp");
  ExpectSameNumber(decoded.dq, key.dq, "dq");
  ExpectSameNumber(decoded.qinv, key.qinv, "qinv");
  ExpectSameNumber(decoded.d, key.d, "d");
}

TEST_P(RecordShapeTest, PublicRecordDecodesWithoutPrivateNumbers) {
  const RecordShape shape = GetParam();
  const RsaKey key = tvtest::MakeTestKey(shape.bits, shape.bits + 200);
  // Decoded into a key that held private numbers before.
  RsaKey decoded = tvtest::MakeTestKey(shape.bits, 7);
  std::uint32_t bits = 0;
  ASSERT_TRUE(DecodeStoredKeyRecord(Encode(key, shape.bits, false), decoded, bits));
  ExpectSameNumber(decoded.n, key.n, "n");
  ExpectSameNumber(decoded.e, key.e, "e");
  for (const BigNum* secret : {&decoded.d, &decoded.p, &decoded.q, &decoded.dp, &decoded.dq, &decoded.qinv})
    EXPECT_TRUE(secret->IsZero());
}

INSTANTIATE_TEST_SUITE_P(BitLengths, RecordShapeTest,
                         testing::Values(RecordShape{512, 72, 92, 380}, RecordShape{1024, 136, 156, 700},
                                         RecordShape{2048, 264, 284, 1340}, RecordShape{1032, 144, 164, 740}),
                         [](const auto& info) { return std::to_string(info.param.bits); });

struct Malformed {
  const char* name;
  std::function<void(Bytes&)> damage;
};

void SetU32(Bytes& record, std::size_t offset, std::uint32_t value) {
  tv::crypto::StoreLittleEndian32(record.data() + offset, value);
}

class MalformedRecordTest : public testing::TestWithParam<Malformed> {};

// Each case starts from a good 1024-bit private record (700 bytes, n = 136).
TEST_P(MalformedRecordTest, IsRefused) {
  Bytes record = Encode(tvtest::MakeTestKey(1024, 5), 1024, true);
  GetParam().damage(record);
  // Exactly sized, so that a read past the end would leave the allocation.
  const Bytes exact(record);
  RsaKey key;
  std::uint32_t bits = 0;
  EXPECT_FALSE(DecodeStoredKeyRecord(exact, key, bits));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedRecordTest,
    testing::Values(
        Malformed{"Empty", [](Bytes& r) { r.clear(); }},
        Malformed{"HeaderOnly", [](Bytes& r) { r.resize(16); }},
        Malformed{"OneByteShort", [](Bytes& r) { r.resize(699); }},
        Malformed{"FieldsCutInPrivateExponent", [](Bytes& r) { r.resize(20 + 4 * 136); }},
        Malformed{"PublicRecordOneByteShort", [](Bytes& r) {
                    SetU32(r, 0, 0x31415352);
                    r.resize(155);
                  }},
        Malformed{"WrongMagic", [](Bytes& r) { SetU32(r, 0, 0x33415352); }},
        Malformed{"FieldLengthTooSmall", [](Bytes& r) { SetU32(r, 4, 128); }},
        Malformed{"FieldLengthOfAnotherKey", [](Bytes& r) { SetU32(r, 4, 144); }},
        Malformed{"FieldLengthHuge", [](Bytes& r) { SetU32(r, 4, 0xFFFFFFFF); }},
        Malformed{"BitLengthZero", [](Bytes& r) { SetU32(r, 8, 0); }},
        Malformed{"BitLengthNotMatchingFieldLength", [](Bytes& r) { SetU32(r, 8, 1032); }},
        Malformed{"BitLengthAboveRange", [](Bytes& r) {
                    SetU32(r, 4, static_cast<std::uint32_t>(tv::csp::StoredKeyFieldLength(16392)));
                    SetU32(r, 8, 16392);
                  }},
        Malformed{"ModulusLongerThanBitLength", [](Bytes& r) { r[20 + 128] = 1; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StoredKeyRecord, IgnoresBytesAfterTheRecord) {
  const RsaKey key = tvtest::MakeTestKey(1024, 11);
  Bytes record = Encode(key, 1024, true);
  record.resize(record.size() + 80, 0xAB);
  RsaKey decoded;
  std::uint32_t bits = 0;
  ASSERT_TRUE(DecodeStoredKeyRecord(record, decoded, bits));
  ExpectSameNumber(decoded.d, key.d, "d");
}

TEST(StoredKeyRecord, EncodingRefusesWhatItCannotStore) {
  const RsaKey good = tvtest::MakeTestKey(1024, 3);
  Bytes record(700);
  EXPECT_FALSE(EncodeStoredKeyRecord(good, 1024, true, std::span<std::uint8_t>(record).first(699)));
  EXPECT_FALSE(EncodeStoredKeyRecord(good, 256, true, record)) << "bit length below the range";

  RsaKey longModulus = tvtest::MakeTestKey(1024, 3);
  longModulus.n = tvtest::MakeNumber(1025, 9);  // fits the field, not the bit length
  EXPECT_FALSE(EncodeStoredKeyRecord(longModulus, 1024, false, record));

  RsaKey wideExponent = tvtest::MakeTestKey(1024, 3);
  wideExponent.e = tvtest::MakeNumber(33, 9);
  EXPECT_FALSE(EncodeStoredKeyRecord(wideExponent, 1024, false, record));

  RsaKey widePrime = tvtest::MakeTestKey(1024, 3);
  widePrime.p = tvtest::MakeNumber(68 * 8 + 1, 9);  // one bit more than n / 2 bytes hold
  EXPECT_FALSE(EncodeStoredKeyRecord(widePrime, 1024, true, record));
  EXPECT_TRUE(EncodeStoredKeyRecord(widePrime, 1024, false, record)) << "the public record has no primes";
}

// Key blobs carry the same fields with widths bits / 8 and bits / 16.
TEST(KeyFields, BlobWidthsRoundTrip) {
  const RsaKey key = tvtest::MakeTestKey(1024, 21);
  const tv::csp::KeyFieldWidths widths = tv::csp::BlobWidths(1024);
  ASSERT_EQ(tv::csp::KeyFieldsSize(widths, true), 4u + 128 + 5 * 64 + 128);
  Bytes fields(tv::csp::KeyFieldsSize(widths, true));
  ASSERT_TRUE(tv::csp::WriteKeyFields(key, widths, true, fields));
  EXPECT_EQ(Slice(fields, 4 + 128 + 64, 64), tvtest::LittleEndianField(key.q, 64));

  RsaKey read;
  Arithmetic ar;
  ASSERT_TRUE(tv::csp::ReadKeyFields(fields, widths, true, read, ar));
  ExpectSameNumber(read.q, key.q, "q");
  ExpectSameNumber(read.d, key.d, "d");
  EXPECT_FALSE(tv::csp::ReadKeyFields(std::span<const std::uint8_t>(fields).first(fields.size() - 1), widths, true,
                                      read, ar));
}

}  // namespace
