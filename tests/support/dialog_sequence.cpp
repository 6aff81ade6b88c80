#include "tests/support/dialog_sequence.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace tvtest {
namespace {

// How long a window may take to come, and the call to return after the
// last answer; only a failing run waits that long.
constexpr auto kStepTimeout = std::chrono::seconds(30);
constexpr auto kLookAgain = std::chrono::milliseconds(50);

struct Search {
  const SequenceStep* step;
  int ownerControl;
  HWND found = nullptr;
};

bool OwnWindow(HWND window) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  return process == GetCurrentProcessId() && IsWindowVisible(window);
}

BOOL CALLBACK FindStepWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (!OwnWindow(window) || !IsWindowEnabled(window)) return TRUE;
  char title[256] = {};
  GetWindowTextA(window, title, sizeof title);
  const bool owner = GetDlgItem(window, search->ownerControl) != nullptr;
  if (search->step->title != title || search->step->onOwner != owner) return TRUE;
  search->found = window;
  return FALSE;
}

HWND WaitForStep(const SequenceStep& step, int ownerControl) {
  const auto deadline = std::chrono::steady_clock::now() + kStepTimeout;
  do {
    Search search{&step, ownerControl};
    EnumWindows(FindStepWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    std::this_thread::sleep_for(kLookAgain);
  } while (std::chrono::steady_clock::now() < deadline);
  return nullptr;
}

BOOL CALLBACK CollectOpen(HWND window, LPARAM param) {
  if (OwnWindow(window)) reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}

std::vector<HWND> OpenWindows() {
  std::vector<HWND> windows;
  EnumWindows(CollectOpen, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

// Answers the steps in order; false when a step found no window.
bool Answer(std::vector<SequenceStep>& steps, int ownerControl, SequenceReport& report) {
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const HWND window = WaitForStep(steps[i], ownerControl);
    if (!window) {
      report.missed = "step " + std::to_string(i) + " (\"" + steps[i].title + "\") found no window; open:";
      for (HWND open : OpenWindows()) report.missed += "\n  " + DescribeWindow(open);
      return false;
    }
    // The owner's handler has returned once it answers a message again.
    if (steps[i].onOwner) SendMessageA(window, WM_NULL, 0, 0);
    report.seen.push_back(DialogDriver::Read(window));
    steps[i].act(window, report.seen.back());
    if (!steps[i].onOwner) DialogDriver::WaitForClose(window);
  }
  return true;
}

}  // namespace

std::string DescribeWindow(HWND window) {
  const WindowSnapshot seen = DialogDriver::Read(window);
  std::string text = "\"" + seen.title + "\"";
  for (const ControlText& control : seen.controls)
    if (!control.text.empty()) text += " [" + std::to_string(control.id) + ": " + control.text + "]";
  return text;
}

SequenceReport RunSequence(const std::function<void()>& call, int ownerControl, std::vector<SequenceStep> steps) {
  std::atomic<bool> returned{false};
  SequenceReport report;
  std::thread driver([&] {
    Answer(steps, ownerControl, report);
    // Whatever is still open once the answers are given, and keeps the call
    // from returning, was not expected.
    const auto grace = std::chrono::steady_clock::now() + kStepTimeout;
    while (!returned && std::chrono::steady_clock::now() < grace) std::this_thread::sleep_for(kLookAgain);
    while (!returned) {
      for (HWND window : OpenWindows()) {
        if (!IsWindowEnabled(window)) continue;
        report.unexpected.push_back(DescribeWindow(window));
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
  });
  call();
  returned = true;
  driver.join();
  return report;
}

void PostCommand(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

}  // namespace tvtest
