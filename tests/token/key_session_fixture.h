// A Key session over the simulator, with its windows answered by a script,
// and the answers a person gives to the session's dialogs.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "resources/token_dialog_ids.h"
#include "tests/standins/simulator_fixture.h"
#include "tests/support/window_script.h"
#include "token/key_session.h"

namespace tvtest {

inline constexpr const char* kSessionCaption = "Key session test";

// What one OpenCard gave and what it showed.
struct Opened {
  int reader = -1;
  DWORD error = 0;
  std::vector<WindowSnapshot> seen;
  int unexpected = 0;  // windows beyond the script's answers
  int unanswered = 0;  // answers no window came for
  int mostOpenAtOnce = 0;
};

class KeySessionTest : public SimulatorTest {
 protected:
  void TearDown() override;

  // The session, made (and its session block cleared) at the first use, once
  // the test's readers are in place.
  tv::token::CSmartKey_GUI& Session();
  // OpenCard with the script answering its windows; `pin` null for none.
  Opened Open(int flags, std::vector<WindowScript::Step> answers, const char* pin = nullptr);

  // The handle of the reader called `name` in the session's reader list.
  int ReaderHandle(const std::string& name);
  // A formatted Key with a PIN and something in the provider's data area.
  void CreateKeyWithData(const std::string& name, const std::string& pin, int attempts = 3);
  std::vector<std::uint8_t> CardIdOf(const std::string& key);
  // Key "a" (PIN 1111) in "Reader A" and Key "b" (PIN 2222) in "Reader B",
  // both holding data.
  void TwoKeysInTwoReaders();

 private:
  std::unique_ptr<tv::token::CSmartKey_GUI> session_;
};

// Answers for the session's dialogs. A screenshot name saves the window
// before it is answered.
WindowScript::Step TypePin(const std::string& pin, bool remember = true, bool changePin = false,
                           const char* screenshot = nullptr);
WindowScript::Step ChooseRow(int row, const char* screenshot = nullptr);
// Types the new PIN twice (or clears "Key holder verification" for none).
WindowScript::Step TypeNewPin(const std::string& pin, const char* screenshot = nullptr);
WindowScript::Step Screenshot(const char* name, WindowScript::Step then);

// Expects exactly the scripted windows: none missing, none extra.
void ExpectScriptFollowed(const Opened& opened);

}  // namespace tvtest
