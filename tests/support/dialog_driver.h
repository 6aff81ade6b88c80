// Drives the product's windows from a test, as a person would: waits for a
// top-level window, reads its texts, types, ticks boxes and presses buttons.
// Meant to run on a helper thread while the thread under test is blocked in a
// modal dialog or message box.
#pragma once
#include <windows.h>

#include <chrono>
#include <functional>
#include <future>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tvtest {

// Which top-level window to wait for. Empty fields match anything; a title
// matches when it is equal (or, with titleContains, a substring).
struct WindowQuery {
  std::string title;
  std::string className = "#32770";  // dialogs and message boxes
  bool titleContains = false;
  DWORD processId = 0;               // 0: the current process
};

struct ControlText {
  int id = 0;
  std::string className;
  std::string text;
  bool visible = false;
  bool enabled = false;
};

// What the driver saw of a window.
struct WindowSnapshot {
  HWND hwnd = nullptr;
  std::string title;
  std::string className;
  std::vector<ControlText> controls;  // in z-order

  // Text of the control with this id, or nullopt.
  std::optional<std::string> Text(int id) const;
  // The message text of a message box (its static control 0xFFFF).
  std::string MessageText() const;
  bool HasControl(int id) const;
};

class DialogDriver {
 public:
  using Clock = std::chrono::steady_clock;

  // Waits (polling, bounded) for a visible top-level window that matches.
  static HWND WaitForWindow(const WindowQuery& query,
                            std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Waits until the window is gone; false on timeout.
  static bool WaitForClose(HWND hwnd, std::chrono::milliseconds timeout = std::chrono::seconds(10));

  static WindowSnapshot Read(HWND hwnd);
  static void TypeText(HWND dialog, int controlId, const std::string& text);
  static void SetChecked(HWND dialog, int controlId, bool checked);
  // Sends the button's click to the dialog (WM_COMMAND/BN_CLICKED).
  static void Press(HWND dialog, int controlId);
};

// Runs `actions` on a helper thread once a matching window appears; the
// future yields what was seen before the actions ran (hwnd null on timeout).
std::future<WindowSnapshot> DriveWindowAsync(
    WindowQuery query, std::function<void(HWND, const WindowSnapshot&)> actions,
    std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace tvtest
