// Narrows a dialog control (a check box or label) to the width of its text.
#pragma once
#include <windows.h>

namespace tv {

void FitControlToText(HWND dialog, int controlId, int unused = 0);

}  // namespace tv
