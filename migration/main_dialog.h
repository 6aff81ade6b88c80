// The applet's main dialog: the chosen certificate, the target provider,
// the container name and how certificates go along, and the Migrate button.
#pragma once
#include <windows.h>

namespace tv::migration {

// Runs the dialog modally over `parent` (the Control Panel's window).
INT_PTR RunMainDialog(HWND parent);

}  // namespace tv::migration
