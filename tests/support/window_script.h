// Answers the windows that a call under test shows, one after another, as a
// person would, from a helper thread; and catches every window the script
// did not expect (recorded, then cancelled so that the call under test
// returns instead of hanging).
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/dialog_driver.h"

namespace tvtest {

class WindowScript {
 public:
  // One answer: it must close the window (or leave it to close by itself).
  using Step = std::function<void(HWND, const WindowSnapshot&)>;

  // Watches for top-level dialogs and message boxes of this process titled
  // `title` and answers the n-th with steps[n].
  WindowScript(std::string title, std::vector<Step> steps);
  ~WindowScript();
  WindowScript(const WindowScript&) = delete;
  WindowScript& operator=(const WindowScript&) = delete;

  // Stops watching (once the call under test has returned) and gives what
  // was seen, the unexpected windows included.
  const std::vector<WindowSnapshot>& Finish();
  // How many windows came beyond the steps; how many steps got no window;
  // the most windows with the title that were open at one time.
  int Unexpected() const { return unexpected_; }
  int Unanswered() const { return static_cast<int>(steps_.size()) - answered_; }
  int MostOpenAtOnce() const { return mostOpen_; }

 private:
  void Run();

  const std::string title_;
  const std::vector<Step> steps_;
  std::vector<WindowSnapshot> seen_;
  int answered_ = 0;
  int unexpected_ = 0;
  int mostOpen_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Steps that answer a message box with a button, keeping its text.
WindowScript::Step PressButton(int id, std::string* text = nullptr);

}  // namespace tvtest
