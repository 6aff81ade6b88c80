#include "tests/support/dialog_driver.h"

#include <thread>

namespace tvtest {
namespace {

std::string WindowText(HWND hwnd) {
  const int length = GetWindowTextLengthA(hwnd);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(hwnd, text.data(), length + 1);
  text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
  return text;
}

std::string ClassOf(HWND hwnd) {
  char name[256] = "";
  GetClassNameA(hwnd, name, sizeof name);
  return name;
}

struct Search {
  const WindowQuery* query;
  DWORD processId;
  HWND found = nullptr;
};

bool Matches(HWND hwnd, const WindowQuery& query, DWORD processId) {
  if (!IsWindowVisible(hwnd)) return false;
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner != processId) return false;
  if (!query.className.empty() && ClassOf(hwnd) != query.className) return false;
  if (query.title.empty()) return true;
  const std::string title = WindowText(hwnd);
  return query.titleContains ? title.find(query.title) != std::string::npos : title == query.title;
}

BOOL CALLBACK FindMatch(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (!Matches(hwnd, *search->query, search->processId)) return TRUE;
  search->found = hwnd;
  return FALSE;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
  auto* controls = reinterpret_cast<std::vector<ControlText>*>(param);
  ControlText control;
  control.id = GetDlgCtrlID(child);
  control.className = ClassOf(child);
  control.text = WindowText(child);
  control.visible = IsWindowVisible(child) != FALSE;
  control.enabled = IsWindowEnabled(child) != FALSE;
  controls->push_back(std::move(control));
  return TRUE;
}

}  // namespace

std::optional<std::string> WindowSnapshot::Text(int id) const {
  for (const ControlText& control : controls)
    if (control.id == id) return control.text;
  return std::nullopt;
}

std::string WindowSnapshot::MessageText() const { return Text(0xFFFF).value_or(""); }

bool WindowSnapshot::HasControl(int id) const { return Text(id).has_value(); }

HWND DialogDriver::WaitForWindow(const WindowQuery& query, std::chrono::milliseconds timeout) {
  const DWORD processId = query.processId ? query.processId : GetCurrentProcessId();
  const auto deadline = Clock::now() + timeout;
  do {
    Search search{&query, processId};
    EnumWindows(FindMatch, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } while (Clock::now() < deadline);
  return nullptr;
}

bool DialogDriver::WaitForClose(HWND hwnd, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (IsWindow(hwnd) && IsWindowVisible(hwnd)) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

WindowSnapshot DialogDriver::Read(HWND hwnd) {
  WindowSnapshot snapshot;
  snapshot.hwnd = hwnd;
  snapshot.title = WindowText(hwnd);
  snapshot.className = ClassOf(hwnd);
  EnumChildWindows(hwnd, CollectChild, reinterpret_cast<LPARAM>(&snapshot.controls));
  return snapshot;
}

void DialogDriver::TypeText(HWND dialog, int controlId, const std::string& text) {
  HWND edit = GetDlgItem(dialog, controlId);
  SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  // Let the dialog see the change as it would from typing.
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(controlId, EN_CHANGE), reinterpret_cast<LPARAM>(edit));
}

void DialogDriver::SetChecked(HWND dialog, int controlId, bool checked) {
  HWND box = GetDlgItem(dialog, controlId);
  SendMessageA(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED), reinterpret_cast<LPARAM>(box));
}

void DialogDriver::Press(HWND dialog, int controlId) {
  HWND button = GetDlgItem(dialog, controlId);
  if (button && IsWindowEnabled(button)) {
    SendMessageA(button, BM_CLICK, 0, 0);
    return;
  }
  // Message boxes without a visible button for the id (IDCANCEL on a box
  // with only OK, say) still take the command.
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

std::future<WindowSnapshot> DriveWindowAsync(WindowQuery query,
                                             std::function<void(HWND, const WindowSnapshot&)> actions,
                                             std::chrono::milliseconds timeout) {
  return std::async(std::launch::async, [query = std::move(query), actions = std::move(actions), timeout] {
    HWND hwnd = DialogDriver::WaitForWindow(query, timeout);
    if (!hwnd) return WindowSnapshot{};
    // Give the dialog a moment to finish WM_INITDIALOG and paint.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    WindowSnapshot seen = DialogDriver::Read(hwnd);
    if (actions) actions(hwnd, seen);
    return seen;
  });
}

}  // namespace tvtest
