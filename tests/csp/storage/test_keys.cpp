#include "tests/csp/storage/test_keys.h"

#include <algorithm>
#include <random>

#include <gtest/gtest.h>

#include "csp/storage/stored_key_record.h"

namespace tvtest {

using tv::crypto::Arithmetic;
using tv::crypto::BigNum;

BigNum MakeNumber(std::size_t bits, std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::vector<std::uint8_t> bytes((bits + 7) / 8);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(generator());
  const unsigned topBits = static_cast<unsigned>((bits - 1) % 8 + 1);
  bytes[0] = static_cast<std::uint8_t>((bytes[0] & ((1u << topBits) - 1)) | (1u << (topBits - 1)));
  BigNum number;
  Arithmetic ar;
  EXPECT_TRUE(number.SetBytes(bytes, ar));
  return number;
}

tv::crypto::RsaKey MakeTestKey(std::uint32_t bits, std::uint32_t seed) {
  tv::crypto::RsaKey key;
  Arithmetic ar;
  EXPECT_TRUE(key.e.SetWord(65537, ar));
  const std::size_t half = (bits + 1) / 2;
  key.n = MakeNumber(bits, seed);
  key.p = MakeNumber(half, seed + 1);
  key.q = MakeNumber(half, seed + 2);
  key.dp = MakeNumber(half - 1, seed + 3);
  key.dq = MakeNumber(half - 1, seed + 4);
  key.qinv = MakeNumber(half - 2, seed + 5);
  key.d = MakeNumber(bits - 1, seed + 6);
  return key;
}

std::vector<std::uint8_t> BigEndian(const BigNum& number) {
  std::vector<std::uint8_t> bytes(number.ByteLength());
  EXPECT_TRUE(number.ToBytes(bytes));
  return bytes;
}

std::vector<std::uint8_t> LittleEndianField(const BigNum& number, std::size_t width) {
  std::vector<std::uint8_t> field = BigEndian(number);
  std::reverse(field.begin(), field.end());
  field.resize(width, 0);
  return field;
}

namespace {

std::vector<std::uint8_t> EncodeRecord(std::uint32_t bits, std::uint32_t seed, bool withPrivate) {
  std::vector<std::uint8_t> record(tv::csp::StoredKeyRecordSize(bits, withPrivate));
  EXPECT_TRUE(tv::csp::EncodeStoredKeyRecord(MakeTestKey(bits, seed), bits, withPrivate, record));
  return record;
}

}  // namespace

Pair MakePair(std::uint32_t bits, std::uint32_t seed) {
  return {EncodeRecord(bits, seed, false), EncodeRecord(bits, seed, true)};
}

}  // namespace tvtest
