// The applet's title and its message boxes: every message is a string of
// the string table, shown with the title as caption.
#pragma once
#include <windows.h>

namespace tv::migration {

// Loads the title (string 1074) once the language resources are bound.
void LoadAppletTitle();
const char* AppletTitle();

// Shows string `id` in a message box of `type` (MB_ICONERROR, ...) owned by
// `owner`; returns the button pressed.
int ShowMessage(HWND owner, UINT id, UINT type);

}  // namespace tv::migration
