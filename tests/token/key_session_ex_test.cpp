// The provider's Key session with container files: a ".tva" file found by
// its path is a Key of its own, a file to be created is made empty once the
// session succeeds on it, and with "Mode" 1 a new container meant for a
// disk-drive reader goes to the root of that drive.
#include <gtest/gtest.h>

#include "tests/support/window_script.h"
#include "tests/token/key_session_fixture.h"
#include "token/key_session_ex.h"

namespace tvtest {
namespace {

using tv::token::CSmartKey_GUI_Ex;
using tv::token::kCreateContainerFile;
using tv::token::kOpenContainerFile;

class ContainerSessionTest : public SimulatorTest {
 protected:
  void TearDown() override {
    session_.reset();
    SimulatorTest::TearDown();
  }
  CSmartKey_GUI_Ex& Session() {
    if (!session_) {
      session_ = std::make_unique<CSmartKey_GUI_Ex>("csp");
      EXPECT_TRUE(session_->Initialize(kCspApplication));
      EXPECT_TRUE(session_->Initialize(kCspApplication)) << "a repeated call succeeds";
      session_->ClearSessionBlock();
    }
    return *session_;
  }
  // OpenCard without any window expected.
  int Open(const std::string& name, DWORD mode, int flags = 0) {
    CSmartKey_GUI_Ex& session = Session();
    WindowScript script(kSessionCaption, {});
    const int reader = session.OpenCard(GetModuleHandleA(nullptr), nullptr, kSessionCaption, flags, name.c_str(), mode,
                                        nullptr, "");
    const DWORD error = GetLastError();
    script.Finish();
    EXPECT_EQ(script.Unexpected(), 0) << "no window";
    SetLastError(error);
    return reader;
  }
  static std::uint64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return ~0ull;
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  }

  TempDir files_;

 private:
  std::unique_ptr<CSmartKey_GUI_Ex> session_;
};

TEST_F(ContainerSessionTest, ContainerFileFoundByItsPathIsAKeyOfItsOwn) {
  AddReader("R");  // empty: the file is found before any reader is asked
  const std::string path = files_.File("box.tva");
  WriteBytes(path, "");  // an empty container file is a blank Key
  for (const std::string& name : {path, path.substr(0, path.size() - 4)}) {
    SCOPED_TRACE(name);
    const int reader = Open(name, kOpenContainerFile);
    ASSERT_NE(reader, -1);
    EXPECT_NE(reader, Session().FindReader("R")->handle);
    EXPECT_STREQ(Session().ContainerPath(), path.c_str());
    EXPECT_EQ(Session().LastResult(), reader);
    Session().ReleaseCard(reader, 0);
    EXPECT_STREQ(Session().ContainerPath(), "") << "the file reader is closed with the Key";
  }
}

TEST_F(ContainerSessionTest, FileToBeCreatedIsMadeEmptyOnceTheSessionSucceeds) {
  const std::string path = files_.File("new.tva");
  const int reader = Open(path, kCreateContainerFile);
  ASSERT_NE(reader, -1);
  EXPECT_EQ(FileSize(path), 0u);
  Session().ReleaseCard(reader, 0);
}

TEST_F(ContainerSessionTest, ModeOneSendsANewContainerFromADiskDriveReaderToItsDriveRoot) {
  AddReader("Disk C:\\", tvkey32::kReaderDiskDrive);
  CreateKey("k", "");
  Insert("k", "Disk C:\\");
  const std::string name = UniqueName("redirected");
  const std::string expected = "C:\\" + name + ".tva";
  Session().SetDiskRedirection(true);
  const int reader = Open(name, kCreateContainerFile);
  ASSERT_NE(reader, -1);
  EXPECT_STREQ(Session().ContainerPath(), expected.c_str());
  EXPECT_EQ(FileSize(expected), 0u);
  Session().ReleaseCard(reader, 0);
  DeleteFileA(expected.c_str());

  Session().SetDiskRedirection(false);
  const int keyReader = Open(name, kCreateContainerFile);
  EXPECT_EQ(keyReader, Session().FindReader("Disk C:\\")->handle) << "without Mode 1 the Key itself is used";
  EXPECT_EQ(GetFileAttributesA(expected.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ContainerSessionTest, NameTooLongForTheExtensionIsRefused) {
  EXPECT_EQ(Open(std::string(252, 'n'), kOpenContainerFile), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

TEST_F(ContainerSessionTest, SilentBitKeepsEveryWindowAway) {
  AddReader("R");
  EXPECT_EQ(Open(files_.File("absent.tva"), tv::token::kSilentMode | kOpenContainerFile), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_SILENT_CONTEXT)) << "waiting would need a window";
}

}  // namespace
}  // namespace tvtest
