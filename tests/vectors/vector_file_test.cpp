// The vector reader on a small file with the shapes the NIST and RFC files
// have: CRLF lines, comments, section headers directly followed by a record,
// records split by blank lines, and fields without a value.
#include "vector_file.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/isolation.h"

namespace tvtest {
namespace {

constexpr char kFile[] =
    "# CAVS 11.1\r\n"
    "# Config Info\r\n"
    "\r\n"
    "[ENCRYPT]\r\n"
    "COUNT = 0\r\n"
    "KEY = 00112233\r\n"
    "# a comment inside a record\r\n"
    "PLAINTEXT=AbCd\r\n"
    "\r\n"
    "\r\n"
    "COUNT = 1\r\n"
    "FAIL\r\n"
    "[mod = 1024]\n"
    "n = c8a2\n"
    "\n"
    "SHAAlg = SHA1\n"
    "Msg = \n";

class VectorFileTest : public testing::Test {
 protected:
  std::vector<VectorRecord> Read() {
    const std::string path = dir_.File("vectors.rsp");
    std::ofstream(path, std::ios::binary) << kFile;
    return ReadVectorFile(path);
  }

  TempDir dir_;
};

TEST_F(VectorFileTest, SplitsRecordsAndKeepsTheirSection) {
  const auto records = Read();
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].section, "ENCRYPT");
  EXPECT_EQ(records[0].line, 5);
  EXPECT_EQ(records[0].Get("COUNT"), "0");
  EXPECT_EQ(records[0].Bytes("KEY"), (std::vector<std::uint8_t>{0x00, 0x11, 0x22, 0x33}));
  EXPECT_EQ(records[0].Bytes("PLAINTEXT"), (std::vector<std::uint8_t>{0xab, 0xcd}));
  EXPECT_EQ(records[0].fields.size(), 3u);

  EXPECT_EQ(records[1].section, "ENCRYPT");
  EXPECT_TRUE(records[1].Has("FAIL"));
  EXPECT_EQ(records[1].Get("FAIL"), "");

  EXPECT_EQ(records[2].section, "mod = 1024");
  EXPECT_EQ(records[2].Get("n"), "c8a2");
  EXPECT_EQ(records[3].section, "mod = 1024");
  EXPECT_EQ(records[3].Get("SHAAlg"), "SHA1");
  EXPECT_TRUE(records[3].Has("Msg"));
  EXPECT_TRUE(records[3].Bytes("Msg").empty());
}

TEST_F(VectorFileTest, AbsentFieldIsEmpty) {
  const auto records = Read();
  ASSERT_FALSE(records.empty());
  EXPECT_FALSE(records[0].Has("IV"));
  EXPECT_EQ(records[0].Get("IV"), "");
  EXPECT_TRUE(records[0].Bytes("IV").empty());
}

TEST(VectorFileReadTest, MissingFileFailsAndGivesNothing) {
  std::vector<VectorRecord> records;
  EXPECT_NONFATAL_FAILURE(records = ReadVectorFile("Z:\\no\\such\\vectors.rsp"), "cannot read");
  EXPECT_TRUE(records.empty());
}

TEST(HexTest, RoundTripsAndRejectsNonHex) {
  const std::vector<std::uint8_t> bytes = {0x00, 0x7f, 0x80, 0xff};
  EXPECT_EQ(ToHex(bytes.data(), bytes.size()), "007f80ff");
  EXPECT_EQ(FromHex("007F80fF"), bytes);
  std::vector<std::uint8_t> bad;
  EXPECT_NONFATAL_FAILURE(bad = FromHex("0g"), "not a hex string");
  EXPECT_TRUE(bad.empty());
  EXPECT_NONFATAL_FAILURE(bad = FromHex("abc"), "odd-length");
  EXPECT_TRUE(bad.empty());
}

}  // namespace
}  // namespace tvtest
