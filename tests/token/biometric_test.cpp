// The biometric check of the Key holder against the simulated Key and the
// biometric stand-in, its dialogs driven as a person would.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "standins/tvbio/tvbio_dialog_ids.h"
#include "standins/tvkey32/store/cross_process_lock.h"
#include "tests/standins/simulator_fixture.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/screenshot.h"
#include "token/biometric_check.h"

namespace tvtest {
namespace {

using tv::token::BiometricCheck;
using DriverActions = std::function<void(HWND, const WindowSnapshot&)>;

constexpr const char* kCaption = "Open Cryptographic key";
constexpr const char* kProcessingTitle = "Processing the Key . . .";

class BiometricCheckTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    module_ = tv::token::BindTokenLibrary(tv::token::kTokenLibraryName, token);
    ASSERT_NE(module_, nullptr);
    reader = ReaderWithKey("1234");
    ASSERT_TRUE(token.VerifyPIN(reader, "1234"));
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
    SimulatorTest::TearDown();
  }

  static HINSTANCE Resources() { return GetModuleHandleA(nullptr); }

  // Runs `call` while the window titled `title` is driven by `actions`.
  bool Driven(const char* title, DriverActions actions, const std::function<bool()>& call) {
    auto driven = DriveWindowAsync({title}, std::move(actions));
    const bool result = call();
    const DWORD error = GetLastError();
    EXPECT_NE(driven.get().hwnd, nullptr) << "no window \"" << title << "\"";
    SetLastError(error);
    return result;
  }

  bool Change(DriverActions atEnrolment, const BiometricCheck& with) {
    return Driven(TVBIO_ENROL_TITLE, std::move(atEnrolment),
                  [&] { return with.ChangeBIR(Resources(), nullptr, kCaption, reader); });
  }
  bool Change(DriverActions atEnrolment) { return Change(std::move(atEnrolment), check); }

  bool Enrol(const std::string& phrase, const char* screenshot = nullptr) {
    return Change([&](HWND dialog, const WindowSnapshot&) {
      DialogDriver::TypeText(dialog, IDC_BIO_PHRASE, phrase);
      DialogDriver::TypeText(dialog, IDC_BIO_CONFIRM, phrase);
      if (screenshot) SaveWindowScreenshot(dialog, screenshot);
      DialogDriver::Press(dialog, IDOK);
    });
  }

  bool Verify(const std::string& phrase, const char* screenshot = nullptr) {
    return Driven(
        TVBIO_VERIFY_TITLE,
        [&](HWND dialog, const WindowSnapshot&) {
          DialogDriver::TypeText(dialog, IDC_BIO_PHRASE, phrase);
          if (screenshot) SaveWindowScreenshot(dialog, screenshot);
          DialogDriver::Press(dialog, IDOK);
        },
        [&] { return check.VerifyBIR(Resources(), nullptr, kCaption, reader); });
  }

  // Presses OK on the message box titled with the caption; its text.
  static DriverActions AcceptMessage(std::string& text) {
    return [&text](HWND box, const WindowSnapshot& seen) {
      text = seen.MessageText();
      DialogDriver::Press(box, IDOK);
    };
  }

  std::string KeyRecord() {
    const tv::keysim::KeyState key = LoadKeyState("k");
    return std::string(key.bir.begin(), key.bir.end());
  }
  std::size_t KeyRecordSize() { return LoadKeyState("k").bir.size(); }

  tv::token::TokenLibrary token;
  BiometricCheck check{token};
  int reader = -1;

 private:
  HMODULE module_ = nullptr;
};

TEST_F(BiometricCheckTest, KeyWithoutRecordPassesWithoutLoadingTheBiometricLibrary) {
  ASSERT_EQ(GetModuleHandleA("TVBioAPI.dll"), nullptr);
  const BiometricCheck absent(token, "TVBioAPI_absent.dll");
  EXPECT_TRUE(absent.VerifyBIR(Resources(), nullptr, kCaption, reader));
  EXPECT_TRUE(check.VerifyBIR(Resources(), nullptr, kCaption, reader));
  EXPECT_EQ(GetModuleHandleA("TVBioAPI.dll"), nullptr);
}

TEST_F(BiometricCheckTest, EnrolledHolderPassesAndAnotherDoesNot) {
  ASSERT_TRUE(Enrol("left thumb", "token_bio_enrol"));
  EXPECT_EQ(KeyRecordSize(), 52u);
  EXPECT_TRUE(Verify("left thumb", "token_bio_verify"));
  EXPECT_FALSE(Verify("right thumb"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(GetModuleHandleA("TVBioAPI.dll"), nullptr) << "loaded for one check at a time";
}

TEST_F(BiometricCheckTest, NewRecordReplacesTheOldOneAndRemovalDeletesIt) {
  ASSERT_TRUE(Enrol("left thumb"));
  const std::string first = KeyRecord();
  ASSERT_TRUE(Enrol("index finger"));
  EXPECT_NE(KeyRecord(), first);
  EXPECT_EQ(KeyRecordSize(), 52u);
  EXPECT_TRUE(Verify("index finger"));
  EXPECT_FALSE(Verify("left thumb"));

  ASSERT_TRUE(Change([](HWND dialog, const WindowSnapshot&) {
    DialogDriver::SetChecked(dialog, IDC_BIO_REMOVE, true);
    SaveWindowScreenshot(dialog, "token_bio_remove");
    DialogDriver::Press(dialog, IDOK);
  }));
  EXPECT_EQ(KeyRecordSize(), 0u);
  EXPECT_TRUE(check.VerifyBIR(Resources(), nullptr, kCaption, reader)) << "nothing left to verify";
}

TEST_F(BiometricCheckTest, CancelledEnrolmentLeavesTheRecord) {
  ASSERT_TRUE(Enrol("left thumb"));
  const std::string record = KeyRecord();
  EXPECT_FALSE(Change([](HWND dialog, const WindowSnapshot&) { DialogDriver::Press(dialog, IDCANCEL); }));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANCELLED));
  EXPECT_EQ(KeyRecord(), record);
}

TEST_F(BiometricCheckTest, RecordLargerThanTheFreeSpaceIsRefusedBeforeAnythingIsWritten) {
  // Leave 40 bytes free: less than a record of 52.
  std::string data(tv::keysim::kDefaultCapacity - 40, 'd');
  DWORD length = static_cast<DWORD>(data.size());
  ASSERT_TRUE(token.WriteData(reader, 0, data.data(), &length));
  std::string message;
  auto box = DriveWindowAsync({kCaption}, AcceptMessage(message));
  EXPECT_FALSE(Enrol("left thumb"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(SCARD_E_NO_MEMORY));
  EXPECT_NE(box.get().hwnd, nullptr);
  EXPECT_EQ(message, "Not enough free space on the Key!");
  EXPECT_EQ(KeyRecordSize(), 0u);
  const auto key = LoadKeyState("k");
  EXPECT_EQ(key.applications.at(kCspApplication).data.size(), data.size());
}

TEST_F(BiometricCheckTest, MissingBiometricLibraryIsNamedInTheMessage) {
  const BiometricCheck absent(token, "TVBioAPI_absent.dll");
  const char* expected = "An error occurred while loading TVBioAPI_absent.dll!";
  std::string message;

  // Changing the record needs the library for any Key.
  EXPECT_FALSE(Driven(kCaption, AcceptMessage(message),
                      [&] { return absent.ChangeBIR(Resources(), nullptr, kCaption, reader); }));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(message, expected);

  ASSERT_TRUE(Enrol("left thumb"));
  message.clear();
  EXPECT_FALSE(Driven(kCaption, AcceptMessage(message),
                      [&] { return absent.VerifyBIR(Resources(), nullptr, kCaption, reader); }));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(message, expected);
}

TEST_F(BiometricCheckTest, ClosingTheProcessingDialogEarlyWaitsForTheWorkerAndReportsItsError) {
  ASSERT_TRUE(Enrol("left thumb"));
  const std::string record = KeyRecord();
  ASSERT_TRUE(api.KeySimSetFault("DeleteBIR", 1, ERROR_WRITE_FAULT));

  // The worker's DeleteBIR waits for the simulator's lock, held here until
  // the processing dialog has been closed.
  std::promise<void> held, release;
  std::shared_future<void> released = release.get_future().share();
  std::thread holder;
  WindowSnapshot processing;
  std::string message;
  const bool removed = Change([&](HWND dialog, const WindowSnapshot&) {
    holder = std::thread([&] {
      tv::keysim::CrossProcessLock lock(Dir());
      held.set_value();
      released.wait();
    });
    held.get_future().wait();
    DialogDriver::SetChecked(dialog, IDC_BIO_REMOVE, true);
    DialogDriver::Press(dialog, IDOK);
    const HWND shown = DialogDriver::WaitForWindow({kProcessingTitle});
    if (shown) {
      processing = DialogDriver::Read(shown);
      SaveWindowScreenshot(shown, "token_processing");
      PostMessageA(shown, WM_CLOSE, 0, 0);
      EXPECT_TRUE(DialogDriver::WaitForClose(shown));
    }
    release.set_value();
    const HWND box = DialogDriver::WaitForWindow({kCaption});
    if (!box) return;
    message = DialogDriver::Read(box).MessageText();
    DialogDriver::Press(box, IDOK);
  });
  const DWORD error = GetLastError();
  holder.join();

  EXPECT_FALSE(removed);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_WRITE_FAULT));
  ASSERT_NE(processing.hwnd, nullptr) << "the processing dialog was not shown";
  EXPECT_EQ(processing.title, kProcessingTitle);
  EXPECT_EQ(processing.Text(110).value_or(""), kProcessingTitle);
  EXPECT_EQ(message, "An error occurred while processing the Key!");
  EXPECT_EQ(KeyRecord(), record) << "the failed removal changed nothing";
}

}  // namespace
}  // namespace tvtest
