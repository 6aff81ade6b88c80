// Loading the provider into a fresh process: the runtime library must be
// there with all its functions, and attach writes its trace lines. Each case
// runs a loader from its own directory, so that only the files copied there
// are found.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/isolation.h"
#include "tests/support/log_marker.h"

namespace {


class AttachTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(marker_.Write("3")); }
  bool Copy(const std::string& from, const std::string& name) {
    return CopyFileA(from.c_str(), dir_.File(name).c_str(), FALSE) != FALSE;
  }
  int Load() {
    return tvtest::RunProcess("\"" + dir_.File("load_module.exe") + "\" \"" + dir_.File("tvcsp.dll") + "\"");
  }
  std::string Bin(const std::string& name) const { return tvtest::ProgramDirectory() + "\\" + name; }
  std::string TestData(const std::string& name) const {
    return tvtest::ProgramDirectory() + "\\..\\testdata\\" + name;
  }

  tvtest::TempDir dir_;
  tvtest::LogMarker marker_{"csp"};
};

TEST_F(AttachTest, LoadsWithTheRuntimeLibraryAndTracesAttach) {
  ASSERT_TRUE(Copy(Bin("load_module.exe"), "load_module.exe"));
  ASSERT_TRUE(Copy(Bin("tvcsp.dll"), "tvcsp.dll"));
  ASSERT_TRUE(Copy(Bin("tvar.dll"), "tvar.dll"));
  EXPECT_EQ(Load(), 0);
  const std::string log = marker_.Text();
  EXPECT_NE(log.find("Start logfile"), std::string::npos) << log;
  EXPECT_NE(log.find("DllMain. 2. 00000001. "), std::string::npos) << log;
  EXPECT_NE(log.find("DllMain. 4. 00000002. "), std::string::npos) << log;
  EXPECT_NE(log.find("DllMain. 5. 00000003. "), std::string::npos) << log;
  EXPECT_EQ(log.find("DllMain. 1."), std::string::npos) << log;
}

TEST_F(AttachTest, MissingRuntimeLibraryStopsTheLoad) {
  ASSERT_TRUE(Copy(Bin("load_module.exe"), "load_module.exe"));
  ASSERT_TRUE(Copy(Bin("tvcsp.dll"), "tvcsp.dll"));
  EXPECT_NE(Load(), 0);
  const std::string log = marker_.Text();
  EXPECT_NE(log.find("DllMain. 1. 0000007E. "), std::string::npos) << log;  // module not found
  EXPECT_EQ(log.find("DllMain. 2."), std::string::npos) << log;
}

TEST_F(AttachTest, RuntimeLibraryLackingAFunctionStopsTheLoad) {
  ASSERT_TRUE(Copy(Bin("load_module.exe"), "load_module.exe"));
  ASSERT_TRUE(Copy(Bin("tvcsp.dll"), "tvcsp.dll"));
  ASSERT_TRUE(Copy(TestData("incomplete\\tvar.dll"), "tvar.dll"));
  EXPECT_NE(Load(), 0);
  const std::string log = marker_.Text();
  EXPECT_NE(log.find("DllMain. 1. 0000007F. "), std::string::npos) << log;  // procedure not found
}

TEST_F(AttachTest, WithoutMarkerNoLogIsCreated) {
  DeleteFileA(marker_.Path().c_str());
  ASSERT_TRUE(Copy(Bin("load_module.exe"), "load_module.exe"));
  ASSERT_TRUE(Copy(Bin("tvcsp.dll"), "tvcsp.dll"));
  ASSERT_TRUE(Copy(Bin("tvar.dll"), "tvar.dll"));
  EXPECT_EQ(Load(), 0);
  EXPECT_EQ(GetFileAttributesA(marker_.Path().c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
