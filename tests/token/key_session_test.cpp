// The Key session against the simulator: which dialogs OpenCard shows and
// when, the PIN and its attempts, the new PIN, the remembered Key and cancel,
// silent calls, and the session block across processes.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/screenshot.h"
#include "tests/token/key_session_fixture.h"

namespace tvtest {
namespace {

using tv::token::kIgnoreSessionBlock;
using tv::token::kOpenForWriting;
using tv::token::kRememberCancel;

const std::string kWrongPin = "The PIN you entered is incorrect!";
const std::string kBlocked = "The Key is blocked!";
constexpr DWORD kSilentContext = static_cast<DWORD>(NTE_SILENT_CONTEXT);

bool SameCardId(const tv::token::SessionBlock* block, const std::vector<std::uint8_t>& id) {
  return block && id.size() == sizeof block->cardId && std::memcmp(block->cardId, id.data(), id.size()) == 0;
}

TEST_F(KeySessionTest, KeyWithoutDataOpensWithoutAPin) {
  AddReader("R");
  CreateKey("k", "1234");
  Insert("k", "R");
  const Opened opened = Open(0, {});
  ExpectScriptFollowed(opened);
  EXPECT_EQ(opened.reader, ReaderHandle("R"));
  EXPECT_EQ(opened.error, 0u);
}

TEST_F(KeySessionTest, PinEnteredOnceOpensTheRememberedKeyWithoutADialog) {
  AddReader("R");
  CreateKeyWithData("k", "1234");
  Insert("k", "R");
  std::string prompt;
  const Opened first = Open(0, {[&](HWND dialog, const WindowSnapshot& seen) {
                              prompt = seen.Text(IDC_SESSION_PROMPT).value_or("");
                              EXPECT_EQ(seen.Text(IDC_SESSION_LINE1).value_or(""), "First line");
                              EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_SESSION_ENTRY, EM_GETLIMITTEXT, 0, 0), 64);
                              TypePin("1234", true, false, "token_session_pin")(dialog, seen);
                            }});
  ExpectScriptFollowed(first);
  EXPECT_EQ(prompt, "Enter PIN:");
  ASSERT_EQ(first.reader, ReaderHandle("R"));
  EXPECT_TRUE(SameCardId(Session().Block(), CardIdOf("k")));
  EXPECT_STREQ(Session().Block()->pin, "1234");

  const Opened again = Open(0, {});
  ExpectScriptFollowed(again);
  EXPECT_EQ(again.reader, first.reader);
  EXPECT_EQ(LoadKeyState("k").attemptsLeft, 3) << "the remembered PIN was right";
}

TEST_F(KeySessionTest, ThreeWrongPinsCountDownAndBlockTheKey) {
  AddReader("R");
  CreateKeyWithData("k", "1234");
  Insert("k", "R");
  std::string afterFirst, afterSecond, afterThird;
  const Opened opened = Open(0, {TypePin("0000"), Screenshot("token_session_wrong_pin", PressButton(IDOK, &afterFirst)),
                                 TypePin("1111"), PressButton(IDOK, &afterSecond), TypePin("2222"),
                                 Screenshot("token_session_blocked", PressButton(IDOK, &afterThird))});
  ExpectScriptFollowed(opened);
  EXPECT_EQ(opened.reader, -1);
  EXPECT_EQ(opened.error, static_cast<DWORD>(ERROR_CANCELLED));
  EXPECT_EQ(afterFirst, kWrongPin + "\nThere are 2 attempts remaining!");
  EXPECT_EQ(afterSecond, kWrongPin + "\nThere are 1 attempts remaining!");
  EXPECT_EQ(afterThird, kBlocked);
  EXPECT_EQ(LoadKeyState("k").attemptsLeft, 0);
}

TEST_F(KeySessionTest, KeyWithoutAttemptCountShowsOnlyTheIncorrectPin) {
  AddReader("R");
  CreateKeyWithData("k", "1234", 0);
  Insert("k", "R");
  std::string message;
  const Opened opened = Open(0, {TypePin("0000"), PressButton(IDOK, &message), TypePin("1234")});
  ExpectScriptFollowed(opened);
  EXPECT_EQ(message, kWrongPin);
  EXPECT_EQ(opened.reader, ReaderHandle("R"));
}

TEST_F(KeySessionTest, SixtyFourCharacterPinAndEightCharacterNewPin) {
  const std::string longPin(64, 'p');
  AddReader("R");
  CreateKeyWithData("k", longPin);
  Insert("k", "R");
  const Opened opened = Open(
      0, {TypePin(longPin + "beyond the field", true, true),
          [](HWND dialog, const WindowSnapshot& seen) {
            EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_SESSION_NEW_PIN, EM_GETLIMITTEXT, 0, 0), 8);
            EXPECT_EQ(seen.Text(IDC_SESSION_NEW_PIN).value_or(""), "pppppppp") << "the old PIN is the default";
            EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_SESSION_HOLDER_CHECK), BST_CHECKED);
            TypeNewPin("87654321", "token_session_change_pin")(dialog, seen);
          }});
  ExpectScriptFollowed(opened);
  ASSERT_EQ(opened.reader, ReaderHandle("R"));
  EXPECT_EQ(tv::keysim::AsText(LoadKeyState("k").pin), "87654321");
  EXPECT_STREQ(Session().Block()->pin, "87654321") << "the new PIN is remembered";
}

TEST_F(KeySessionTest, NewPinDialogAcceptsOnlyTwoEqualPinsOrNoPin) {
  AddReader("R");
  CreateKeyWithData("k", "1234");
  Insert("k", "R");
  const auto okEnabled = [](HWND dialog) { return IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE; };
  const Opened opened = Open(0, {TypePin("1234", true, true), [&](HWND dialog, const WindowSnapshot&) {
                                   DialogDriver::TypeText(dialog, IDC_SESSION_CONFIRM_PIN, "5678");
                                   EXPECT_FALSE(okEnabled(dialog)) << "two different PINs";
                                   DialogDriver::SetChecked(dialog, IDC_SESSION_HOLDER_CHECK, true);
                                   EXPECT_FALSE(okEnabled(dialog)) << "ticking empties both edits";
                                   DialogDriver::TypeText(dialog, IDC_SESSION_NEW_PIN, "5678");
                                   DialogDriver::TypeText(dialog, IDC_SESSION_CONFIRM_PIN, "5678");
                                   EXPECT_TRUE(okEnabled(dialog));
                                   DialogDriver::SetChecked(dialog, IDC_SESSION_HOLDER_CHECK, false);
                                   EXPECT_TRUE(okEnabled(dialog)) << "no PIN at all";
                                   EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_SESSION_NEW_PIN)));
                                   DialogDriver::Press(dialog, IDOK);
                                 }});
  ExpectScriptFollowed(opened);
  ASSERT_EQ(opened.reader, ReaderHandle("R"));
  EXPECT_FALSE(tv::keysim::HasPin(LoadKeyState("k"))) << "clearing the holder verification removes the PIN";
}

TEST_F(KeySessionTest, KeyToBeWrittenWithoutPinGetsOne) {
  AddReader("R");
  CreateKey("k", "");
  Insert("k", "R");
  const Opened opened = Open(kOpenForWriting, {[](HWND dialog, const WindowSnapshot& seen) {
                               EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_SESSION_HOLDER_CHECK), BST_UNCHECKED);
                               EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_SESSION_NEW_PIN)));
                               TypeNewPin("4321", "token_session_new_pin")(dialog, seen);
                             }});
  ExpectScriptFollowed(opened);
  ASSERT_EQ(opened.reader, ReaderHandle("R"));
  EXPECT_EQ(tv::keysim::AsText(LoadKeyState("k").pin), "4321");
}

TEST_F(KeySessionTest, OverwriteQuestionNoAsksAgainCancelEndsYesEmptiesTheKey) {
  AddReader("R");
  CreateKeyWithData("k", "1234");
  Insert("k", "R");
  std::string question;
  const Opened declined = Open(kOpenForWriting | kRememberCancel,
                               {Screenshot("token_session_overwrite", PressButton(IDNO, &question)),
                                PressButton(IDCANCEL)});
  ExpectScriptFollowed(declined);
  EXPECT_EQ(question, "The Key is not empty!\nWould you like to overwrite it?");
  EXPECT_EQ(declined.reader, -1);
  EXPECT_EQ(declined.error, static_cast<DWORD>(ERROR_CANCELLED));
  EXPECT_EQ(Session().Block()->cancelMarker, 1);
  EXPECT_EQ(LoadKeyState("k").applications[kCspApplication].data.size(), 4u) << "nothing written";

  const Opened accepted = Open(kOpenForWriting, {PressButton(IDYES), TypePin("1234")});
  ExpectScriptFollowed(accepted);
  ASSERT_EQ(accepted.reader, ReaderHandle("R"));
  EXPECT_TRUE(LoadKeyState("k").applications[kCspApplication].data.empty());
}

TEST_F(KeySessionTest, ReaderChoiceAmongTwoKeys) {
  TwoKeysInTwoReaders();
  std::vector<std::string> listed;
  const Opened opened = Open(0, {[&](HWND dialog, const WindowSnapshot& seen) {
                               const HWND list = GetDlgItem(dialog, IDC_SESSION_ENTRY);
                               for (int i = 0; i < SendMessageA(list, CB_GETCOUNT, 0, 0); ++i) {
                                 char name[256] = {};
                                 SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(name));
                                 listed.push_back(name);
                               }
                               EXPECT_EQ(seen.Text(IDC_SESSION_PROMPT).value_or(""), "Choose a Key:");
                               ChooseRow(1, "token_session_choice")(dialog, seen);
                             },
                             TypePin("2222")});
  ExpectScriptFollowed(opened);
  EXPECT_EQ(listed, (std::vector<std::string>{"Reader A", "Reader B"}));
  EXPECT_EQ(opened.reader, ReaderHandle("Reader B"));
}

TEST_F(KeySessionTest, CancelledChoiceIsRememberedUntilTheKeysChange) {
  TwoKeysInTwoReaders();
  const Opened cancelled = Open(kRememberCancel, {PressButton(IDCANCEL)});
  ExpectScriptFollowed(cancelled);
  EXPECT_EQ(cancelled.error, static_cast<DWORD>(ERROR_CANCELLED));

  const Opened declinedAgain = Open(kRememberCancel, {});
  ExpectScriptFollowed(declinedAgain);
  EXPECT_EQ(declinedAgain.reader, -1);
  EXPECT_EQ(declinedAgain.error, static_cast<DWORD>(ERROR_CANCELLED));

  const Opened withoutTheFlag = Open(0, {ChooseRow(0), TypePin("1111")});
  ExpectScriptFollowed(withoutTheFlag);
  EXPECT_EQ(withoutTheFlag.reader, ReaderHandle("Reader A"));

  Session().ClearSessionBlock();
  ASSERT_EQ(Open(kRememberCancel, {PressButton(IDCANCEL)}).error, static_cast<DWORD>(ERROR_CANCELLED));
  Eject("Reader A");
  const Opened afterEject = Open(kRememberCancel, {TypePin("2222")});
  ExpectScriptFollowed(afterEject);
  EXPECT_EQ(afterEject.reader, ReaderHandle("Reader B"));
}

TEST_F(KeySessionTest, WaitingDialogTakesTheKeyInsertedMeanwhile) {
  AddReader("R");
  CreateKey("k", "1234");
  std::string message;
  const Opened opened = Open(0, {[&](HWND dialog, const WindowSnapshot& seen) {
                               message = seen.Text(IDC_SESSION_MESSAGE).value_or("");
                               SaveWindowScreenshot(dialog, "token_session_wait");
                               Insert("k", "R");  // the dialog closes by itself
                             }});
  ExpectScriptFollowed(opened);
  EXPECT_EQ(message, "Waiting for Key insertion . . .");
  EXPECT_EQ(opened.reader, ReaderHandle("R"));
}

TEST_F(KeySessionTest, WaitingDialogCancelled) {
  AddReader("R");
  const Opened opened = Open(0, {PressButton(IDCANCEL)});
  ExpectScriptFollowed(opened);
  EXPECT_EQ(opened.reader, -1);
  EXPECT_EQ(opened.error, static_cast<DWORD>(ERROR_CANCELLED));
}

TEST_F(KeySessionTest, FinallyBlockedAndUnformattedKeys) {
  AddReader("R");
  CreateKey("k", "1234");
  EditKey("k", [](tv::keysim::KeyState& key) { key.finallyBlocked = true; });
  Insert("k", "R");
  std::string message;
  const Opened blocked = Open(0, {Screenshot("token_session_finally_blocked", PressButton(IDOK, &message))});
  ExpectScriptFollowed(blocked);
  EXPECT_EQ(message, "The Key is finally blocked!\nIt should be reformatted to reuse.");
  EXPECT_EQ(blocked.reader, -1);
  EXPECT_EQ(blocked.error, static_cast<DWORD>(ERROR_CANCELLED));

  EditKey("k", [](tv::keysim::KeyState& key) { key.formatted = false; key.finallyBlocked = false; });
  const Opened unformatted = Open(0, {});
  ExpectScriptFollowed(unformatted);
  EXPECT_EQ(unformatted.reader, -1);
  EXPECT_EQ(unformatted.error, 0u);
}

TEST_F(KeySessionTest, RememberPinClearedAsksAgain) {
  AddReader("R");
  CreateKeyWithData("k", "1234");
  Insert("k", "R");
  const Opened first = Open(0, {TypePin("1234", false)});
  ExpectScriptFollowed(first);
  ASSERT_NE(first.reader, -1);
  Session().ReleaseCard(first.reader, 0);
  EXPECT_STREQ(Session().Block()->pin, "") << "given back without remembering";
  const Opened again = Open(0, {TypePin("1234")});
  ExpectScriptFollowed(again);
  EXPECT_EQ(again.reader, first.reader);
}

struct SilentCase {
  const char* what;
  int keys;               // Keys present (0, 1 or 2)
  int flags;
  const char* callerPin;  // null: none
  const char* rememberedPin;
  int attemptsLeft;
  bool opens;
  DWORD error;
};

TEST_F(KeySessionTest, SilentCallsNeverShowAWindow) {
  const SilentCase cases[] = {
      {"two Keys to choose from", 2, 0, nullptr, nullptr, 3, false, kSilentContext},
      {"no Key to wait for", 0, 0, nullptr, nullptr, 3, false, kSilentContext},
      {"a Key to be overwritten", 1, kOpenForWriting, "1234", nullptr, 3, false, kSilentContext},
      {"a wrong remembered PIN", 1, 0, nullptr, "9999", 3, true, 0},
      {"the right remembered PIN", 1, 0, nullptr, "1234", 3, true, 0},
      {"a wrong PIN from the caller", 1, 0, "9999", nullptr, 3, false, static_cast<DWORD>(SCARD_W_WRONG_CHV)},
      {"a wrong PIN at the last attempt", 1, 0, "9999", nullptr, 1, false, static_cast<DWORD>(SCARD_W_CHV_BLOCKED)},
      {"the right PIN from the caller", 1, 0, "1234", nullptr, 3, true, 0},
  };
  AddReader("Reader A");
  AddReader("Reader B");
  CreateKeyWithData("a", "1234");
  CreateKeyWithData("b", "1234");
  Session().SetSilent(true);
  for (const SilentCase& c : cases) {
    SCOPED_TRACE(c.what);
    Eject("Reader A");
    Eject("Reader B");
    EditKey("a", [&](tv::keysim::KeyState& key) { key.attemptsLeft = static_cast<std::uint8_t>(c.attemptsLeft); });
    if (c.keys >= 1) Insert("a", "Reader A");
    if (c.keys >= 2) Insert("b", "Reader B");
    Session().ClearSessionBlock();
    if (c.rememberedPin) {
      const std::vector<std::uint8_t> id = CardIdOf("a");
      std::memcpy(Session().Block()->cardId, id.data(), id.size());
      std::strcpy(Session().Block()->pin, c.rememberedPin);
    }
    const Opened opened = Open(c.flags, {}, c.callerPin);
    ExpectScriptFollowed(opened);
    EXPECT_EQ(opened.reader != -1, c.opens);
    EXPECT_EQ(opened.error, c.error);
    if (opened.reader != -1) Session().ReleaseCard(opened.reader, 0);
  }
}

TEST_F(KeySessionTest, TwoThreadsTakeTurns) {
  AddReader("R");
  CreateKeyWithData("k", "1234");
  Insert("k", "R");
  tv::token::CSmartKey_GUI& session = Session();
  WindowScript script(kSessionCaption, {TypePin("1234"), TypePin("1234")});
  int readers[2] = {-1, -1};
  auto open = [&](int i) {
    readers[i] = session.OpenCard(GetModuleHandleA(nullptr), nullptr, kSessionCaption, kIgnoreSessionBlock, "", nullptr,
                                  "");
  };
  std::thread first(open, 0);
  std::thread second(open, 1);
  first.join();
  second.join();
  script.Finish();
  EXPECT_EQ(script.Unexpected(), 0);
  EXPECT_EQ(script.Unanswered(), 0);
  EXPECT_EQ(script.MostOpenAtOnce(), 1) << "one PIN dialog at a time";
  EXPECT_EQ(readers[0], ReaderHandle("R"));
  EXPECT_EQ(readers[1], ReaderHandle("R"));
}

// A second process of the user opens the Key silently; exit code 0 when its
// data could be read (the remembered PIN opened it), 1 when the Key opened
// without its PIN, 2 when it did not open.
int PeerOpens() { return RunProcess("\"" + ProgramDirectory() + "\\key_session_peer.exe\""); }

TEST_F(KeySessionTest, PinRememberedInOneProcessOpensTheKeyInAnother) {
  AddReader("R");
  CreateKeyWithData("k", "1234");
  CreateKeyWithData("other", "1234");
  Insert("k", "R");
  const Opened opened = Open(0, {TypePin("1234")});
  ExpectScriptFollowed(opened);
  ASSERT_NE(opened.reader, -1);
  EXPECT_EQ(PeerOpens(), 0);

  Eject("R");
  Insert("other", "R");
  EXPECT_EQ(PeerOpens(), 1) << "another Key does not get the remembered PIN";
}

}  // namespace
}  // namespace tvtest
