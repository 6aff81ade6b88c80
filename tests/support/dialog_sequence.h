// Works a modal dialog and the windows it opens over itself, one answer
// after the other, as a person would: the call that runs the dialog blocks
// this thread while a helper thread waits for each window in turn and
// answers it. What was not expected is reported and cancelled, so that the
// call returns instead of hanging.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/dialog_driver.h"

namespace tvtest {

// One answer: the owner dialog (found once nothing modal is over it) or a
// window over it with this title. An answer to a window over the owner must
// close it.
struct SequenceStep {
  bool onOwner = false;
  std::string title;
  std::function<void(HWND, const WindowSnapshot&)> act;
};

struct SequenceReport {
  std::vector<WindowSnapshot> seen;     // what each answered window showed
  std::string missed;                   // the step no window came for, with the windows then open
  std::vector<std::string> unexpected;  // windows still open after the last step
};

// Runs `call`; the owner dialog is the window with the control `ownerControl`.
SequenceReport RunSequence(const std::function<void()>& call, int ownerControl, std::vector<SequenceStep> steps);

// The title and texts of a window, for reports.
std::string DescribeWindow(HWND window);

// Sends a command to a dialog without waiting for it: for buttons whose
// handler opens windows of its own.
void PostCommand(HWND dialog, int id);
// Clicks a button and waits for its handler (which must not open windows).
void Click(HWND dialog, int id);

}  // namespace tvtest
