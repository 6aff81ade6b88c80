#include "tests/support/window_script.h"

#include <chrono>

namespace tvtest {
namespace {

constexpr auto kLookAgain = std::chrono::milliseconds(50);

struct TitleCount {
  const std::string* title;
  int count = 0;
};

BOOL CALLBACK CountWithTitle(HWND hwnd, LPARAM param) {
  auto* c = reinterpret_cast<TitleCount*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(hwnd, &process);
  char text[256] = {};
  GetWindowTextA(hwnd, text, sizeof text);
  if (process == GetCurrentProcessId() && IsWindowVisible(hwnd) && *c->title == text) ++c->count;
  return TRUE;
}

// Visible windows of this process with the title, counted.
int OpenWithTitle(const std::string& title) {
  TitleCount counter{&title};
  EnumWindows(CountWithTitle, reinterpret_cast<LPARAM>(&counter));
  return counter.count;
}

}  // namespace

WindowScript::WindowScript(std::string title, std::vector<Step> steps)
    : title_(std::move(title)), steps_(std::move(steps)), thread_([this] { Run(); }) {}

WindowScript::~WindowScript() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

const std::vector<WindowSnapshot>& WindowScript::Finish() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  return seen_;
}

void WindowScript::Run() {
  while (!stop_) {
    const HWND window = DialogDriver::WaitForWindow({title_}, kLookAgain);
    if (!window) continue;
    mostOpen_ = std::max(mostOpen_, OpenWithTitle(title_));
    const WindowSnapshot seen = DialogDriver::Read(window);
    seen_.push_back(seen);
    if (answered_ < static_cast<int>(steps_.size())) {
      steps_[static_cast<std::size_t>(answered_++)](window, seen);
    } else {
      ++unexpected_;
      PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    }
    DialogDriver::WaitForClose(window);
  }
}

WindowScript::Step PressButton(int id, std::string* text) {
  return [id, text](HWND window, const WindowSnapshot& seen) {
    if (text) *text = seen.MessageText();
    DialogDriver::Press(window, id);
  };
}

}  // namespace tvtest
