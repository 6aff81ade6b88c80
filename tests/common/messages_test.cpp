// Version resources, the language module and message strings.
#include <gtest/gtest.h>

#include <string>

#include "common/fit_control.h"
#include "common/language.h"
#include "common/module_version.h"
#include "tests/common/common_test_ids.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/isolation.h"
#include "tests/support/screenshot.h"

namespace {

TEST(FileVersionText, FormatsLikeTheProduct) {
  const struct {
    DWORD ms, ls;
    const char* text;
  } cases[] = {
      {0x00020005, 0x00000000, "2.05"},   {0x0002000C, 0x00030000, "2.12.3"},
      {0x0002000C, 0x00030004, "2.12.3.4"}, {0x00010000, 0x00000000, "1.00"},
      {0x0001000A, 0x00000000, "1.10"},   {0x00020005, 0x00000007, "2.05.0.7"},
  };
  for (const auto& c : cases) EXPECT_EQ(tv::FormatFileVersion(c.ms, c.ls), c.text);
}

class ProviderModule : public ::testing::Test {
 protected:
  void SetUp() override {
    provider_ = LoadLibraryA("tvcsp.dll");
    ASSERT_NE(provider_, nullptr) << GetLastError();
  }
  void TearDown() override {
    tv::UnloadLanguageModule();
    FreeLibrary(provider_);
  }
  HMODULE provider_ = nullptr;
};

TEST_F(ProviderModule, VersionResourceIsRead) {
  const tv::ModuleVersionInfo info = tv::ReadModuleVersion(provider_, nullptr);
  EXPECT_EQ(info.fileVersion, "1.00");
  EXPECT_EQ(info.productVersion, "1.0");
  EXPECT_EQ(info.productName, "Tavrin Key");
  EXPECT_EQ(info.fileDescription, "Tavrin RSA Cryptographic Provider");
  EXPECT_NE(info.legalCopyright, "Unknown");
  EXPECT_NE(info.moduleFileName.find("tvcsp.dll"), std::string::npos);
  EXPECT_EQ(tv::ReadModuleVersion(nullptr, "tvcsp.dll").fileVersion, "1.00");
}

TEST(ModuleVersion, ModuleWithoutVersionResourceReadsUnknown) {
  const tv::ModuleVersionInfo info = tv::ReadModuleVersion(GetModuleHandleA(nullptr), nullptr);
  EXPECT_EQ(info.fileVersion, "Unknown");
  EXPECT_EQ(info.productName, "Unknown");
  EXPECT_EQ(info.productVersion, "Unknown");
  EXPECT_EQ(info.fileDescription, "Unknown");
  EXPECT_NE(info.moduleFileName.find("messages_test.exe"), std::string::npos);
  EXPECT_EQ(tv::ReadModuleVersion(nullptr, "no-such-module.dll").moduleFileName, "Unknown");
}

TEST_F(ProviderModule, TextsComeFromTheOwnTableThenTheHost) {
  ASSERT_TRUE(tv::LoadLanguageModule("tvcmissing", provider_));
  EXPECT_EQ(tv::LanguageModule(), provider_);
  EXPECT_STREQ(tv::LoadStringText(1002, nullptr, -1), "Create Cryptographic key");
  EXPECT_STREQ(tv::LoadStringText(IDS_HOST_ONLY, nullptr, -1), "Found in the host program");
  EXPECT_STREQ(tv::LoadStringText(59999, nullptr, -1), "");
  char small[8];
  EXPECT_STREQ(tv::LoadStringText(1002, small, sizeof small), "Create ");
}

TEST_F(ProviderModule, FormattedMessagesStayInTheirBuffer) {
  ASSERT_TRUE(tv::LoadLanguageModule("tvcmissing", provider_));
  char text[64];
  EXPECT_STREQ(tv::FormatStringMessage(2410, text, sizeof text, 3), "There are 3 attempts remaining!");
  EXPECT_STREQ(tv::FormatStringMessage(2538, nullptr, 0, 8u), "Internal error [00000008]!");
  char tiny[10];
  EXPECT_STREQ(tv::FormatStringMessage(2518, tiny, sizeof tiny, "tvbio.dll"), "An error ");
}

TEST(LanguageModule, ModuleBesideTheOwnModuleReplacesTexts) {
  tvtest::TempDir dir;
  const std::string data = tvtest::ProgramDirectory() + "\\..\\testdata\\";
  ASSERT_TRUE(CopyFileA((data + "tvc_lang.dll").c_str(), dir.File("tvc_lang.dll").c_str(), FALSE));
  ASSERT_TRUE(CopyFileA((tvtest::ProgramDirectory() + "\\tvcsp.dll").c_str(),
                        dir.File("owner.dll").c_str(), FALSE));
  // Loading the copy as a data file keeps its DllMain (and tvar) out of it.
  HMODULE owner = LoadLibraryExA(dir.File("owner.dll").c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(owner, nullptr);
  ASSERT_TRUE(tv::LoadLanguageModule("tvc", owner));
  EXPECT_NE(tv::LanguageModule(), owner);
  EXPECT_STREQ(tv::LoadStringText(1000, nullptr, -1), "Translated storage question");
  EXPECT_STREQ(tv::LoadStringText(1002, nullptr, -1), "Create Cryptographic key");
  tv::UnloadLanguageModule();
  FreeLibrary(owner);
}

TEST_F(ProviderModule, StorageQuestionShowsInARealMessageBox) {
  ASSERT_TRUE(tv::LoadLanguageModule("tvcmissing", provider_));
  const std::string question = tv::LoadStringText(1000, nullptr, -1);
  char caption[128];
  tv::LoadStringText(1002, caption, sizeof caption);
  std::string screenshot;
  auto driven = tvtest::DriveWindowAsync({caption}, [&](HWND box, const tvtest::WindowSnapshot&) {
    screenshot = tvtest::SaveWindowScreenshot(box, "storage_question");
    tvtest::DialogDriver::Press(box, IDYES);
  });
  const int answer = MessageBoxA(nullptr, question.c_str(), caption, MB_YESNOCANCEL | MB_ICONQUESTION);
  const tvtest::WindowSnapshot seen = driven.get();
  ASSERT_NE(seen.hwnd, nullptr);
  EXPECT_EQ(answer, IDYES);
  EXPECT_EQ(seen.MessageText(),
            "Do you wish to store Cryptographic key on Key?\nTo store Cryptographic key on Key press "
            "YES.\nTo store Cryptographic key in the System Registry press NO.\nTo abort the "
            "operation press CANCEL.");
  EXPECT_FALSE(screenshot.empty());
}

INT_PTR CALLBACK PassiveDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST(FitControl, NarrowsAWideControlAndLeavesANarrowOne) {
  HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_FIT), nullptr,
                                   PassiveDialogProc, 0);
  ASSERT_NE(dialog, nullptr);
  auto width = [&](int id) {
    RECT r;
    GetWindowRect(GetDlgItem(dialog, id), &r);
    return r.right - r.left;
  };
  const int wideBefore = width(IDC_FIT_CHECK), narrowBefore = width(IDC_FIT_LABEL);
  RECT before;
  GetWindowRect(GetDlgItem(dialog, IDC_FIT_CHECK), &before);
  tv::FitControlToText(dialog, IDC_FIT_CHECK);
  tv::FitControlToText(dialog, IDC_FIT_LABEL);
  RECT after;
  GetWindowRect(GetDlgItem(dialog, IDC_FIT_CHECK), &after);
  EXPECT_LT(width(IDC_FIT_CHECK), wideBefore);
  EXPECT_GT(width(IDC_FIT_CHECK), 19);
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);
  EXPECT_EQ(width(IDC_FIT_LABEL), narrowBefore);
  DestroyWindow(dialog);
}

}  // namespace
