// The trace log's marker rules, line format and error preservation. Each
// test uses its own module tag, so its marker file C:\TV_<tag>.log belongs
// to it alone.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "common/trace_log.h"
#include "tests/support/isolation.h"
#include "tests/support/log_marker.h"

namespace {

class TraceLogTest : public ::testing::Test {
 protected:
  void SetUp() override { tv::ResetLog(); }
  void TearDown() override { tv::ResetLog(); }
  void WriteMarker(const std::string& content) { ASSERT_TRUE(marker_.Write(content)); }
  std::string Log() const { return marker_.Text(); }

  tvtest::LogMarker marker_{tvtest::UniqueName("t")};
  const std::string tag_ = marker_.Tag();
  const std::string marker = marker_.Path();
};

TEST_F(TraceLogTest, WithoutMarkerNothingIsWrittenAnywhere) {
  EXPECT_FALSE(tv::OpenLog(tag_.c_str(), nullptr));
  EXPECT_EQ(tv::CurrentLogLevel(), 0u);
  EXPECT_EQ(tv::WriteLog(1, "", "never %d", 1), 0u);
  EXPECT_EQ(GetFileAttributesA(marker.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(TraceLogTest, MarkerFirstCharacterSetsTheLevel) {
  const struct {
    const char* content;
    unsigned level;
  } cases[] = {{"5", 5}, {"0", 0}, {"9 extra", 9}, {"x", 3}, {"", 3}, {"1", 1}};
  for (const auto& c : cases) {
    tv::ResetLog();
    WriteMarker(c.content);
    EXPECT_EQ(tv::OpenLog(tag_.c_str(), nullptr), true) << "marker '" << c.content << "'";
    EXPECT_EQ(tv::CurrentLogLevel(), c.level) << "marker '" << c.content << "'";
  }
}

TEST_F(TraceLogTest, LevelZeroMarkerWritesNothing) {
  WriteMarker("0");
  tv::OpenLog(tag_.c_str(), nullptr);
  EXPECT_EQ(tv::WriteLog(1, "", "error line"), 0u);
  EXPECT_EQ(Log(), "0");
}

TEST_F(TraceLogTest, ReadOnlyMarkerLeavesLoggingOff) {
  WriteMarker("5");
  ASSERT_TRUE(SetFileAttributesA(marker.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(tv::OpenLog(tag_.c_str(), nullptr));
  EXPECT_EQ(tv::CurrentLogLevel(), 0u);
  EXPECT_EQ(Log(), "5");
}

TEST_F(TraceLogTest, SearchIsMadeOncePerProcess) {
  WriteMarker("3");
  EXPECT_TRUE(tv::OpenLog(tag_.c_str(), nullptr));
  EXPECT_FALSE(tv::OpenLog(tag_.c_str(), nullptr));
  EXPECT_EQ(tv::CurrentLogLevel(), 3u);
}

TEST_F(TraceLogTest, HeaderAndLinesFollowTheFormat) {
  WriteMarker("3");
  ASSERT_TRUE(tv::OpenLog(tag_.c_str(), GetModuleHandleA(nullptr)));
  EXPECT_EQ(tv::WriteLog(3, "", "CPGenRandom. 1. %08X.", 0x1234u), 1u);
  EXPECT_EQ(tv::WriteLog(4, "", "above the level"), 0u);
  EXPECT_EQ(tv::WriteLog(2, "cert_list:", "warned"), 1u);
  const std::string log = Log();
  EXPECT_NE(log.find("] E  [                              ] Start logfile ====="), std::string::npos) << log;
  EXPECT_NE(log.find("\r\n   Product: Unknown, Ver: Unknown\r\n   Module: "), std::string::npos) << log;
  EXPECT_NE(log.find("\r\n   OS: "), std::string::npos);
  EXPECT_NE(log.find("] T  [                              ] CPGenRandom. 1. 00001234."), std::string::npos)
      << log;
  EXPECT_NE(log.find("] W  [                    cert_list:] warned"), std::string::npos) << log;
  EXPECT_EQ(log.find("above the level"), std::string::npos);
}

TEST_F(TraceLogTest, LevelsAboveFiveCarryAnEmptyMark) {
  WriteMarker("9");
  tv::OpenLog(tag_.c_str(), nullptr);
  tv::WriteLog(7, "", "deep");
  EXPECT_NE(Log().find("]  [                              ] deep"), std::string::npos) << Log();
}

TEST_F(TraceLogTest, OverlongLineIsCutAt512Bytes) {
  WriteMarker("3");
  tv::OpenLog(tag_.c_str(), nullptr);
  const std::string before = Log();
  tv::WriteLog(1, "", "%s", std::string(2000, 'A').c_str());
  EXPECT_EQ(Log().size() - before.size(), 511u);
}

TEST_F(TraceLogTest, WritingKeepsTheThreadsLastError) {
  WriteMarker("3");
  tv::OpenLog(tag_.c_str(), nullptr);
  SetLastError(0x80090016);
  tv::WriteLog(1, "", "line");
  EXPECT_EQ(GetLastError(), 0x80090016u);
  SetLastError(ERROR_MORE_DATA);
  tv::LogHexDump(3, "label", "\x01\xAB", 2);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
}

// Writers in several threads (as in several processes) each append whole
// lines; none is dropped because another writer had the file open.
TEST_F(TraceLogTest, ConcurrentWritersLoseNoLine) {
  WriteMarker("3");
  tv::OpenLog(tag_.c_str(), nullptr);
  constexpr int kWriters = 4, kLines = 200;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w)
    writers.emplace_back([w] {
      for (int i = 0; i < kLines; ++i) tv::WriteLog(3, "", "writer %d line %d.", w, i);
    });
  for (auto& writer : writers) writer.join();
  const std::string log = Log();
  for (int w = 0; w < kWriters; ++w)
    for (int i = 0; i < kLines; ++i) {
      const std::string line = "writer " + std::to_string(w) + " line " + std::to_string(i) + ".";
      ASSERT_NE(log.find(line), std::string::npos) << line;
    }
}

TEST_F(TraceLogTest, HexDumpWritesCountThenUpperCaseHex) {
  WriteMarker("5");
  tv::OpenLog(tag_.c_str(), nullptr);
  const unsigned char bytes[] = {0x00, 0x1F, 0xAB, 0xFF};
  tv::LogHexDump(5, "CPHashData", bytes, sizeof bytes);
  tv::LogHexDump(6, "Hidden", bytes, sizeof bytes);
  const std::string log = Log();
  EXPECT_NE(log.find("CPHashData. 00000004.\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("CPHashData. 00000009. 001FABFF."), std::string::npos) << log;
  EXPECT_EQ(log.find("Hidden"), std::string::npos);
}

}  // namespace
