// TVBioAPI.dll: the ten names, enrolment and verification through its
// dialogs (driven as a person would), and the record kept on a simulated Key
// the way the system keeps it.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "standins/tvbio/tvbio_dialog_ids.h"
#include "tests/standins/simulator_fixture.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/screenshot.h"

namespace tvtest {
namespace {

using GetBirGuiFn = BOOL(WINAPI*)(HINSTANCE, HWND, BYTE*, DWORD*, DWORD);
using VerifyBirGuiFn = BOOL(WINAPI*)(HINSTANCE, HWND, const BYTE*, DWORD, DWORD, DWORD);

constexpr const char* kBioNames[] = {"BioEnumReaders", "BioInitReader",     "BioCloseReader", "BioVerifyBIR",
                                     "BioGetBIR_GUI",  "BioVerifyBIR_GUI",  "BioCaptureBIR",  "BioCompareBIRS",
                                     "BioCaptureBIR_GUI", "BioGetBIR"};

class BiometricTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    bio_ = LoadLibraryA("TVBioAPI.dll");
    ASSERT_NE(bio_, nullptr) << GetLastError();
    getBir_ = reinterpret_cast<GetBirGuiFn>(reinterpret_cast<void*>(GetProcAddress(bio_, "BioGetBIR_GUI")));
    verifyBir_ = reinterpret_cast<VerifyBirGuiFn>(reinterpret_cast<void*>(GetProcAddress(bio_, "BioVerifyBIR_GUI")));
    ASSERT_TRUE(getBir_ && verifyBir_);
  }
  void TearDown() override {
    if (bio_) FreeLibrary(bio_);
    SimulatorTest::TearDown();
  }

  // Runs the enrolment dialog with `actions`; returns the call's result,
  // and the size it reported.
  BOOL Capture(DWORD hasRecord, DWORD& size, std::function<void(HWND, const WindowSnapshot&)> actions,
               WindowSnapshot* seen = nullptr) {
    auto driven = DriveWindowAsync({TVBIO_ENROL_TITLE}, std::move(actions));
    size = 0xFFFF;
    const BOOL result = getBir_(nullptr, nullptr, nullptr, &size, hasRecord);
    const DWORD error = GetLastError();
    const WindowSnapshot snapshot = driven.get();
    EXPECT_NE(snapshot.hwnd, nullptr) << "the enrolment dialog did not appear";
    if (seen) *seen = snapshot;
    SetLastError(error);
    return result;
  }

  // Enrols `phrase`: the record, or empty on failure.
  std::string Enrol(const std::string& phrase) {
    DWORD size = 0;
    const BOOL captured = Capture(0, size, [&](HWND dialog, const WindowSnapshot&) {
      DialogDriver::TypeText(dialog, IDC_BIO_PHRASE, phrase);
      DialogDriver::TypeText(dialog, IDC_BIO_CONFIRM, phrase);
      DialogDriver::Press(dialog, IDOK);
    });
    if (!captured) return {};
    std::string record(size, '\0');
    EXPECT_TRUE(getBir_(nullptr, nullptr, reinterpret_cast<BYTE*>(record.data()), &size, 1));
    return record;
  }

  // Verifies `record` with `phrase` typed into the dialog (or cancelled when
  // `phrase` is null); the call's result.
  BOOL Verify(const std::string& record, const char* phrase, const char* screenshot = nullptr) {
    auto driven = DriveWindowAsync({TVBIO_VERIFY_TITLE}, [&](HWND dialog, const WindowSnapshot&) {
      if (!phrase) {
        DialogDriver::Press(dialog, IDCANCEL);
        return;
      }
      DialogDriver::TypeText(dialog, IDC_BIO_PHRASE, phrase);
      if (screenshot) SaveWindowScreenshot(dialog, screenshot);
      DialogDriver::Press(dialog, IDOK);
    });
    const BOOL result = verifyBir_(nullptr, nullptr, reinterpret_cast<const BYTE*>(record.data()),
                                   static_cast<DWORD>(record.size()), 0, 0);
    const DWORD error = GetLastError();
    EXPECT_NE(driven.get().hwnd, nullptr) << "the verification dialog did not appear";
    SetLastError(error);
    return result;
  }

  HMODULE bio_ = nullptr;
  GetBirGuiFn getBir_ = nullptr;
  VerifyBirGuiFn verifyBir_ = nullptr;
};

TEST_F(BiometricTest, ExportsTheTenNamesAndRefusesTheUncalledOnes) {
  for (const char* name : kBioNames) EXPECT_NE(GetProcAddress(bio_, name), nullptr) << name;
  using CaptureFn = BOOL(WINAPI*)(BYTE*, DWORD*);
  auto capture = reinterpret_cast<CaptureFn>(reinterpret_cast<void*>(GetProcAddress(bio_, "BioCaptureBIR")));
  DWORD size = 0;
  EXPECT_FALSE(capture(nullptr, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
}

TEST_F(BiometricTest, EnrolledPhraseVerifiesAndAnotherDoesNot) {
  DWORD size = 0;
  WindowSnapshot seen;
  ASSERT_TRUE(Capture(0, size, [](HWND dialog, const WindowSnapshot&) {
    DialogDriver::TypeText(dialog, IDC_BIO_PHRASE, "left thumb");
    DialogDriver::TypeText(dialog, IDC_BIO_CONFIRM, "left thumb");
    SaveWindowScreenshot(dialog, "tvbio_enrol");
    DialogDriver::Press(dialog, IDOK);
  }, &seen));
  EXPECT_EQ(seen.title, TVBIO_ENROL_TITLE);
  EXPECT_EQ(size, 52u);
  std::string record(size, '\0');
  ASSERT_TRUE(getBir_(nullptr, nullptr, reinterpret_cast<BYTE*>(record.data()), &size, 1));
  EXPECT_EQ(record.substr(0, 4), "TVB1");
  EXPECT_EQ(record.find("left thumb"), std::string::npos) << "the record does not hold the phrase";

  EXPECT_TRUE(Verify(record, "left thumb", "tvbio_verify"));
  EXPECT_FALSE(Verify(record, "right thumb"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(BiometricTest, SamePhraseEnrolledTwiceGivesDifferentRecords) {
  const std::string first = Enrol("index");
  const std::string second = Enrol("index");
  ASSERT_EQ(first.size(), 52u);
  EXPECT_NE(first, second) << "each record has its own salt";
  EXPECT_TRUE(Verify(second, "index"));
}

TEST_F(BiometricTest, CancelLeavesErrorCancelled) {
  DWORD size = 0;
  EXPECT_FALSE(Capture(0, size, [](HWND dialog, const WindowSnapshot&) { DialogDriver::Press(dialog, IDCANCEL); }));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANCELLED));
  const std::string record = Enrol("palm");
  EXPECT_FALSE(Verify(record, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANCELLED));
}

TEST_F(BiometricTest, PhraseMustBeTypedTheSameTwice) {
  DWORD size = 0;
  WindowSnapshot afterTyping;
  EXPECT_FALSE(Capture(0, size, [&](HWND dialog, const WindowSnapshot&) {
    DialogDriver::TypeText(dialog, IDC_BIO_PHRASE, "one");
    DialogDriver::TypeText(dialog, IDC_BIO_CONFIRM, "two");
    afterTyping = DialogDriver::Read(dialog);
    DialogDriver::Press(dialog, IDOK);
    EXPECT_TRUE(IsWindow(dialog)) << "OK with two different phrases does not close the dialog";
    DialogDriver::Press(dialog, IDCANCEL);
  }));
  for (const ControlText& c : afterTyping.controls) {
    if (c.id == IDOK) {
      EXPECT_FALSE(c.enabled);
    }
  }
}

TEST_F(BiometricTest, RemovalIsOfferedOnlyForAKeyWithARecord) {
  DWORD size = 0;
  WindowSnapshot seen;
  ASSERT_TRUE(Capture(1, size, [](HWND dialog, const WindowSnapshot&) {
    DialogDriver::SetChecked(dialog, IDC_BIO_REMOVE, true);
    SaveWindowScreenshot(dialog, "tvbio_remove");
    DialogDriver::Press(dialog, IDOK);
  }, &seen));
  EXPECT_EQ(size, 0u) << "0 asks the caller to remove the record";
  bool removalVisible = false;
  for (const ControlText& c : seen.controls) removalVisible |= c.id == IDC_BIO_REMOVE && c.visible;
  EXPECT_TRUE(removalVisible);

  EXPECT_FALSE(Capture(0, size, [](HWND dialog, const WindowSnapshot& snapshot) {
    for (const ControlText& c : snapshot.controls) {
      if (c.id == IDC_BIO_REMOVE) {
        EXPECT_FALSE(c.visible);
      }
    }
    DialogDriver::SetChecked(dialog, IDC_BIO_REMOVE, true);
    DialogDriver::Press(dialog, IDOK);
    EXPECT_TRUE(IsWindow(dialog)) << "a hidden removal box cannot be chosen";
    DialogDriver::Press(dialog, IDCANCEL);
  }));
}

TEST_F(BiometricTest, HandsOverOnlyARecordItCaptured) {
  BYTE buffer[64];
  DWORD size = sizeof buffer;
  EXPECT_FALSE(getBir_(nullptr, nullptr, buffer, &size, 1));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_STATE));
  const std::string malformed(52, 'x');
  EXPECT_FALSE(verifyBir_(nullptr, nullptr, reinterpret_cast<const BYTE*>(malformed.data()), 52, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA)) << "no dialog for a foreign record";
}

// The record's way to and from a Key, as the system's enrolment and
// verification take it.
TEST_F(BiometricTest, RecordIsKeptOnTheKey) {
  const int reader = ReaderWithKey("1234");
  ASSERT_TRUE(api.VerifyPIN(reader, "1234"));
  DWORD oldSize = 0, freeSpace = 0;
  ASSERT_TRUE(api.ReadBIR(reader, 0, nullptr, &oldSize));
  const std::string record = Enrol("ring finger");
  ASSERT_TRUE(api.WriteBIR(reader, 0, nullptr, &freeSpace));
  ASSERT_GE(oldSize + freeSpace, record.size());
  DWORD size = static_cast<DWORD>(record.size());
  ASSERT_TRUE(api.WriteBIR(reader, 0, record.data(), &size));
  ASSERT_TRUE(api.SetBIRSize(reader, size));

  DWORD stored = 0;
  ASSERT_TRUE(api.ReadBIR(reader, 0, nullptr, &stored));
  std::string readBack(stored, '\0');
  ASSERT_TRUE(api.ReadBIR(reader, 0, readBack.data(), &stored));
  EXPECT_TRUE(Verify(readBack, "ring finger"));
}

}  // namespace
}  // namespace tvtest
