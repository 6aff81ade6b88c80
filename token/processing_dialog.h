// A Key operation run on a worker thread while the modal dialog "Processing
// the Key . . ." (resource 5150) is shown.
#pragma once
#include <windows.h>

#include <functional>

namespace tv::token {

// Runs `work` (true on success, else the reason as the last error) on a
// worker thread under the processing dialog. The dialog closes when the work
// is done. A user who closes it early still waits for the work, whose own
// outcome counts. On failure: message 2527 (error icon, `caption` as title)
// and false with the work's error.
bool RunUnderProcessingDialog(HINSTANCE resources, HWND owner, const char* caption,
                              const std::function<bool()>& work);

// Centres a dialog over its owner (or the desktop), kept inside the screen.
void CentreOverOwner(HWND dialog);

}  // namespace tv::token
