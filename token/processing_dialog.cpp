#include "token/processing_dialog.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "common/language.h"
#include "common/trace_log.h"
#include "resources/token_dialog_ids.h"
#include "token/token_strings.h"

namespace tv::token {
namespace {

constexpr UINT kWorkDone = WM_APP + 1;  // wParam: 1 success, 0 failure
const HWND kDialogGone = reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1));

// Shared by the dialog (user-interface thread) and the worker. The dialog
// handle is the only hand-over: null until the dialog exists, kDialogGone
// once the worker must no longer close it.
struct WorkerBlock {
  std::atomic<HWND> dialog{nullptr};
  const std::function<bool()>* work = nullptr;
  bool succeeded = false;
  DWORD error = 0;
};

void RunWorker(WorkerBlock& block) {
  block.succeeded = (*block.work)();
  block.error = block.succeeded ? 0 : GetLastError();
  if (!block.succeeded && block.error == 0) block.error = ERROR_GEN_FAILURE;
  HWND dialog;
  while (!(dialog = block.dialog.load())) Sleep(1);
  if (dialog != kDialogGone) PostMessageA(dialog, kWorkDone, block.succeeded ? 1 : 0, 0);
}

INT_PTR CALLBACK ProcessingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const char* text = LoadStringText(kTextProcessing, nullptr, -1);
      SetWindowTextA(dialog, text);
      SetDlgItemTextA(dialog, IDC_PROCESSING_TEXT, text);
      CentreOverOwner(dialog);
      reinterpret_cast<WorkerBlock*>(lParam)->dialog = dialog;
      return TRUE;
    }
    case kWorkDone: EndDialog(dialog, static_cast<INT_PTR>(wParam)); return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 0);
      return TRUE;
    case WM_CLOSE: EndDialog(dialog, 0); return TRUE;
    default: return FALSE;
  }
}

}  // namespace

void CentreOverOwner(HWND dialog) {
  HWND owner = GetWindow(dialog, GW_OWNER);
  RECT area, window, screen;
  GetWindowRect(owner ? owner : GetDesktopWindow(), &area);
  GetWindowRect(dialog, &window);
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &screen, 0);
  const LONG width = window.right - window.left, height = window.bottom - window.top;
  LONG x = area.left + (area.right - area.left - width) / 2;
  LONG y = area.top + (area.bottom - area.top - height) / 2;
  x = std::max(screen.left, std::min(x, screen.right - width));
  y = std::max(screen.top, std::min(y, screen.bottom - height));
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool RunUnderProcessingDialog(HINSTANCE resources, HWND owner, const char* caption,
                              const std::function<bool()>& work) {
  WorkerBlock block;
  block.work = &work;
  std::thread worker(RunWorker, std::ref(block));
  const INT_PTR result = DialogBoxParamA(resources, MAKEINTRESOURCEA(IDD_PROCESSING_KEY), owner,
                                         ProcessingDialogProc, reinterpret_cast<LPARAM>(&block));
  if (result != 1) block.dialog = kDialogGone;  // closed early, or never shown
  worker.join();
  if (block.succeeded) return true;
  WriteLog(LogMonitor, "ProcessingDialog:", "Key operation failed: %08X (dialog %d)", static_cast<unsigned>(block.error),
           static_cast<int>(result));
  MessageBoxA(owner, LoadStringText(kTextProcessingFailed, nullptr, -1), caption, MB_OK | MB_ICONERROR);
  SetLastError(block.error);
  return false;
}

}  // namespace tv::token
