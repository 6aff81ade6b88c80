// The test helpers themselves: the dialog driver on a message box and on a
// resource dialog, screenshots, and the isolation fixtures.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/dialog_driver.h"
#include "tests/support/isolation.h"
#include "tests/support/screenshot.h"
#include "tests/support/support_test_ids.h"

namespace tvtest {
namespace {

TEST(DialogDriver, ReadsAndAnswersAMessageBox) {
  auto driven = DriveWindowAsync({"Driver question"}, [](HWND box, const WindowSnapshot&) {
    DialogDriver::Press(box, IDNO);
  });
  const int answer = MessageBoxA(nullptr, "Proceed?\nSecond line.", "Driver question",
                                 MB_YESNOCANCEL | MB_ICONQUESTION);
  const WindowSnapshot seen = driven.get();
  ASSERT_NE(seen.hwnd, nullptr) << "no message box appeared";
  EXPECT_EQ(answer, IDNO);
  EXPECT_EQ(seen.MessageText(), "Proceed?\nSecond line.");
  EXPECT_EQ(seen.title, "Driver question");
  EXPECT_TRUE(seen.HasControl(IDYES));
  EXPECT_TRUE(seen.HasControl(IDCANCEL));
}

TEST(DialogDriver, TimesOutWhenNoWindowAppears) {
  const auto start = DialogDriver::Clock::now();
  EXPECT_EQ(DialogDriver::WaitForWindow({"No such window"}, std::chrono::milliseconds(300)), nullptr);
  EXPECT_GE(DialogDriver::Clock::now() - start, std::chrono::milliseconds(300));
}

struct SampleResult {
  std::string name;
  bool remember = false;
};

INT_PTR CALLBACK SampleProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    return TRUE;
  }
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    auto* result = reinterpret_cast<SampleResult*>(GetWindowLongPtrA(dialog, DWLP_USER));
    char text[64] = "";
    GetDlgItemTextA(dialog, IDC_SAMPLE_EDIT, text, sizeof text);
    result->name = text;
    result->remember = IsDlgButtonChecked(dialog, IDC_SAMPLE_CHECK) == BST_CHECKED;
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

TEST(DialogDriver, FillsAResourceDialogAndSavesItsScreenshot) {
  std::string screenshot;
  auto driven = DriveWindowAsync({"Driver sample"}, [&](HWND dialog, const WindowSnapshot&) {
    DialogDriver::TypeText(dialog, IDC_SAMPLE_EDIT, "Alice");
    DialogDriver::SetChecked(dialog, IDC_SAMPLE_CHECK, true);
    screenshot = SaveWindowScreenshot(dialog, "support_sample_dialog");
    DialogDriver::Press(dialog, IDOK);
  });
  SampleResult result;
  const INT_PTR ended = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SAMPLE),
                                        nullptr, SampleProc, reinterpret_cast<LPARAM>(&result));
  const WindowSnapshot seen = driven.get();
  ASSERT_NE(seen.hwnd, nullptr);
  EXPECT_EQ(ended, IDOK);
  EXPECT_EQ(result.name, "Alice");
  EXPECT_TRUE(result.remember);
  EXPECT_EQ(seen.Text(IDC_SAMPLE_LABEL).value_or("?"), "Name:");
  EXPECT_EQ(seen.Text(IDC_SAMPLE_CHECK).value_or("?"), "Remember me");
  ASSERT_FALSE(screenshot.empty());
  const std::string png = ReadFileText(screenshot);
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
}

TEST(Screenshot, EncodesAValidPngSignatureAndSize) {
  TempDir dir;
  const unsigned char pixels[2 * 2 * 4] = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0};
  ASSERT_TRUE(WritePng(dir.File("tiny.png"), 2, 2, pixels));
  const std::string png = ReadFileText(dir.File("tiny.png"));
  ASSERT_GE(png.size(), 33u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1A\n", 8));
  EXPECT_EQ(png.substr(12, 4), "IHDR");
  EXPECT_EQ(png.substr(16, 8), std::string("\0\0\0\x02\0\0\0\x02", 8));
}

TEST(Isolation, TempDirAndRegistrySandboxAreRemoved) {
  std::string dirPath, subkey;
  {
    TempDir dir;
    dirPath = dir.Path();
    FILE* file = fopen(dir.File("inner.txt").c_str(), "w");
    ASSERT_NE(file, nullptr);
    fclose(file);
    RegistrySandbox sandbox;
    subkey = sandbox.SubKey();
    HKEY child;
    ASSERT_EQ(RegCreateKeyExA(sandbox.Key(), "child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(child);
  }
  EXPECT_EQ(GetFileAttributesA(dirPath.c_str()), INVALID_FILE_ATTRIBUTES);
  HKEY gone;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ, &gone), ERROR_FILE_NOT_FOUND);
}

TEST(Isolation, UniqueNamesDiffer) {
  EXPECT_NE(UniqueName("c-"), UniqueName("c-"));
}

}  // namespace
}  // namespace tvtest
