// The registry backend's trace lines, written to a log of the test's own.
#include <gtest/gtest.h>

#include <string>

#include "common/trace_log.h"
#include "tests/csp/storage/container_fixture.h"
#include "tests/support/isolation.h"
#include "tests/support/log_marker.h"

namespace {

class TraceLinesTest : public testing::Test {
 protected:
  void SetUp() override {
    tv::ResetLog();
    ASSERT_TRUE(marker_.Write("3"));
    ASSERT_TRUE(tv::OpenLog(marker_.Tag().c_str(), nullptr));
  }
  void TearDown() override { tv::ResetLog(); }
  std::string Log() const { return marker_.Text(); }

 private:
  tvtest::LogMarker marker_{tvtest::UniqueName("s")};
};

TEST_F(TraceLinesTest, FailuresAndEntriesAreTraced) {
  tvtest::ScopedContainerName name;
  {
    tvtest::RegistryContainer c(name, 0);
    EXPECT_FALSE(c.Open());
    ASSERT_TRUE(c.Create({1, 2, 3, 4, 5}));
    // After the create the base key exists, so enumeration gets to its end.
    char buffer[261];
    DWORD length = sizeof buffer;
    EXPECT_FALSE(c.ops.EnumKeyContainers(c.storage, 32767, buffer, &length));
    ASSERT_TRUE(c.Close());
  }
  const std::string log = Log();
  const std::string expected[] = {
      "ROpenKeyStorage. 1. ",
      "ROpenKeyContainer. 1. ",
      ". " + name.str() + ". 00000000.",
      "ROpenKeyContainer. 2. 00000002. 00000000. Software\\Microsoft\\Cryptography\\UserKeys\\" + name.str() + ".",
      "REnumKeyContainers. 5. 00000001.",
      "RCloseKeyContainer. 1. ",
      "RCloseStorage. 1. ",
  };
  for (const std::string& line : expected)
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

}  // namespace
