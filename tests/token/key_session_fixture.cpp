#include "tests/token/key_session_fixture.h"

#include "tests/support/screenshot.h"

namespace tvtest {

void KeySessionTest::TearDown() {
  session_.reset();
  SimulatorTest::TearDown();
}

tv::token::CSmartKey_GUI& KeySessionTest::Session() {
  if (!session_) {
    session_ = std::make_unique<tv::token::CSmartKey_GUI>(tv::token::kProviderSmartKey, "csp");
    EXPECT_TRUE(session_->Initialize(kCspApplication));
    EXPECT_NE(session_->Block(), nullptr);
    session_->ClearSessionBlock();
  }
  return *session_;
}

Opened KeySessionTest::Open(int flags, std::vector<WindowScript::Step> answers, const char* pin) {
  tv::token::CSmartKey_GUI& session = Session();
  WindowScript script(kSessionCaption, std::move(answers));
  Opened opened;
  opened.reader =
      session.OpenCard(GetModuleHandleA(nullptr), nullptr, kSessionCaption, flags, "First line", pin, "Second line");
  opened.error = GetLastError();
  opened.seen = script.Finish();
  opened.unexpected = script.Unexpected();
  opened.unanswered = script.Unanswered();
  opened.mostOpenAtOnce = script.MostOpenAtOnce();
  return opened;
}

int KeySessionTest::ReaderHandle(const std::string& name) {
  tv::token::ReaderRecord* record = Session().FindReader(name.c_str());
  EXPECT_NE(record, nullptr) << name;
  return record ? record->handle : -1;
}

void KeySessionTest::CreateKeyWithData(const std::string& name, const std::string& pin, int attempts) {
  CreateKey(name, pin, attempts);
  EditKey(name, [](tv::keysim::KeyState& key) { key.applications[kCspApplication].data = tv::keysim::ToSecret("pair"); });
}

void KeySessionTest::TwoKeysInTwoReaders() {
  AddReader("Reader A");
  AddReader("Reader B");
  CreateKeyWithData("a", "1111");
  CreateKeyWithData("b", "2222");
  Insert("a", "Reader A");
  Insert("b", "Reader B");
}

std::vector<std::uint8_t> KeySessionTest::CardIdOf(const std::string& key) {
  const tv::keysim::CardId id = LoadKeyState(key).cardId;
  return {id.begin(), id.end()};
}

WindowScript::Step Screenshot(const char* name, WindowScript::Step then) {
  return [name, then](HWND window, const WindowSnapshot& seen) {
    if (name) SaveWindowScreenshot(window, name);
    then(window, seen);
  };
}

WindowScript::Step TypePin(const std::string& pin, bool remember, bool changePin, const char* screenshot) {
  return Screenshot(nullptr, [=](HWND dialog, const WindowSnapshot&) {
    DialogDriver::TypeText(dialog, IDC_SESSION_ENTRY, pin);
    DialogDriver::SetChecked(dialog, IDC_SESSION_REMEMBER_PIN, remember);
    DialogDriver::SetChecked(dialog, IDC_SESSION_CHANGE_PIN, changePin);
    if (screenshot) SaveWindowScreenshot(dialog, screenshot);
    DialogDriver::Press(dialog, IDOK);
  });
}

WindowScript::Step ChooseRow(int row, const char* screenshot) {
  return Screenshot(screenshot, [row](HWND dialog, const WindowSnapshot&) {
    SendDlgItemMessageA(dialog, IDC_SESSION_ENTRY, CB_SETCURSEL, static_cast<WPARAM>(row), 0);
    DialogDriver::Press(dialog, IDOK);
  });
}

WindowScript::Step TypeNewPin(const std::string& pin, const char* screenshot) {
  return [=](HWND dialog, const WindowSnapshot&) {
    DialogDriver::SetChecked(dialog, IDC_SESSION_HOLDER_CHECK, !pin.empty());
    DialogDriver::TypeText(dialog, IDC_SESSION_NEW_PIN, pin);
    DialogDriver::TypeText(dialog, IDC_SESSION_CONFIRM_PIN, pin);
    if (screenshot) SaveWindowScreenshot(dialog, screenshot);
    DialogDriver::Press(dialog, IDOK);
  };
}

void ExpectScriptFollowed(const Opened& opened) {
  EXPECT_EQ(opened.unexpected, 0) << "windows beyond the expected ones";
  EXPECT_EQ(opened.unanswered, 0) << "expected windows that never came";
}

}  // namespace tvtest
