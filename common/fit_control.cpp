#include "common/fit_control.h"

namespace tv {

void FitControlToText(HWND dialog, int controlId, int) {
  HWND control = GetDlgItem(dialog, controlId);
  if (!control) return;
  char text[501];
  const int length = GetWindowTextA(control, text, sizeof text);
  RECT rect;
  if (!GetWindowRect(control, &rect)) return;
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);

  HDC dc = GetDC(control);
  if (!dc) return;
  HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0));
  HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
  SIZE extent = {};
  const BOOL measured = GetTextExtentPoint32A(dc, text, length, &extent);
  if (previous) SelectObject(dc, previous);
  ReleaseDC(control, dc);

  // 19 pixels leave room for a check box's square and its gap.
  if (measured && extent.cx + 19 < rect.right - rect.left)
    SetWindowPos(control, nullptr, rect.left, rect.top, extent.cx + 19, extent.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace tv
