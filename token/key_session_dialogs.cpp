#include "token/key_session_dialogs.h"

#include <cstring>

#include "common/fit_control.h"
#include "common/language.h"
#include "common/trace_log.h"
#include "resources/token_dialog_ids.h"
#include "token/key_session.h"
#include "token/processing_dialog.h"
#include "token/token_strings.h"

namespace tv::token {
namespace {

constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMilliseconds = 100;
constexpr DWORD kSilentContext = static_cast<DWORD>(NTE_SILENT_CONTEXT);

void SetText(HWND dialog, int id, UINT textId) { SetDlgItemTextA(dialog, id, LoadStringText(textId, nullptr, -1)); }

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void Check(HWND dialog, int id, bool checked) { CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED); }

// The owner's icon, small or large, or its class's.
HICON OwnerIcon(HWND owner) {
  if (!owner) return nullptr;
  for (const WPARAM kind : {ICON_SMALL, ICON_BIG}) {
    if (auto icon = reinterpret_cast<HICON>(SendMessageA(owner, WM_GETICON, kind, 0))) return icon;
  }
  if (auto icon = reinterpret_cast<HICON>(GetClassLongPtrA(owner, GCLP_HICONSM))) return icon;
  return reinterpret_cast<HICON>(GetClassLongPtrA(owner, GCLP_HICON));
}

// Empties an edit that held a PIN, so its text does not outlive the dialog.
void ClearEdit(HWND dialog, int id) { SetDlgItemTextA(dialog, id, ""); }

}  // namespace

// One shown dialog: the call, the session, and what this dialog works on.
struct SessionDialogs::Frame {
  CSmartKey_GUI& session;
  const Call& call;
  int flags = 0;
  char* buffer = nullptr;  // the PIN or new PIN
  std::size_t size = 0;
  int table[kMaxReaders] = {};  // the readers holding a Key (choice)
  int count = 0;
  int first = 0;  // the readers polled (wait); `end` -1: all of them
  int end = 0;

  // What every dialog does first: the frame in the window, the error
  // cleared, the caption, the owner's icon, the information lines, the
  // foreground.
  void Start(HWND dialog) const {
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(this));
    session.lastError_ = 0;
    SetWindowTextA(dialog, call.caption);
    if (HICON icon = OwnerIcon(call.owner)) {
      SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
      SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    }
    SetDlgItemTextA(dialog, IDC_SESSION_LINE1, call.line113);
    SetDlgItemTextA(dialog, IDC_SESSION_LINE2, call.line114);
    CentreOverOwner(dialog);
    SetForegroundWindow(dialog);
  }

  // The change boxes, their texts and their state from the requests.
  void ShowRequestBoxes(HWND dialog) const {
    SetText(dialog, IDC_SESSION_CHANGE_PIN, kTextChangePin);
    SetText(dialog, IDC_SESSION_CHANGE_BIR, kTextChangeBir);
    Check(dialog, IDC_SESSION_CHANGE_PIN, session.changePinRequest_);
    Check(dialog, IDC_SESSION_CHANGE_BIR, session.changeBirRequest_);
  }

  void TakeRequests(HWND dialog) const {
    session.changePinRequest_ = Checked(dialog, IDC_SESSION_CHANGE_PIN);
    session.changeBirRequest_ = Checked(dialog, IDC_SESSION_CHANGE_BIR);
  }

  void OkAndCancelTexts(HWND dialog) const {
    SetText(dialog, IDOK, kTextOk);
    SetText(dialog, IDCANCEL, kTextCancel);
  }

  // The system menu: no sizing, minimising or maximising; closing is a
  // cancel. True when the command was swallowed.
  bool FilterSystemCommand(HWND dialog, WPARAM command) const {
    switch (command & 0xFFF0) {
      case SC_SIZE:
      case SC_MINIMIZE:
      case SC_MAXIMIZE:
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 0);
        return true;
      case SC_CLOSE:
        session.lastError_ = ERROR_CANCELLED;
        return false;
      default:
        return false;
    }
  }
};

SessionDialogs::Frame* SessionDialogs::FrameOf(HWND dialog, UINT message, LPARAM lParam) {
  if (message == WM_INITDIALOG) return reinterpret_cast<Frame*>(lParam);
  return reinterpret_cast<Frame*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

int SessionDialogs::Show(Frame& frame, int templateId, DLGPROC procedure) {
  const INT_PTR result = DialogBoxParamA(frame.call.resources, MAKEINTRESOURCEA(templateId), frame.call.owner,
                                         procedure, reinterpret_cast<LPARAM>(&frame));
  if (result == -1 && GetLastError() != 0 && session_.lastError_ == 0) {
    WriteLog(LogError, "SessionDialogs:", "DialogBoxParam. %d. %08X.", templateId,
             static_cast<unsigned>(GetLastError()));
    session_.lastError_ = GetLastError();
  }
  return static_cast<int>(result);
}

bool SessionDialogs::RefusedWhenSilent() {
  if (!session_.silent_) return false;
  session_.lastError_ = kSilentContext;
  return true;
}

int SessionDialogs::ShowWithBuffer(const Call& call, char* buffer, std::size_t size, int templateId,
                                   DLGPROC procedure) {
  if (RefusedWhenSilent()) return -1;
  Frame frame{session_, call};
  frame.buffer = buffer;
  frame.size = size;
  return Show(frame, templateId, procedure);
}

// Reader choice ---------------------------------------------------------

int SessionDialogs::ReaderDialog(const Call& call, int flags) {
  Frame frame{session_, call};
  frame.flags = flags;
  session_.lastError_ = 0;
  for (int& entry : frame.table) entry = -1;
  frame.count = session_.EnumCards(frame.table, flags);
  const int readers = session_.SnapshotCount();

  if (SessionBlock* block = session_.block_) {
    const bool declinedBefore = !(flags & kIgnoreSessionBlock) && (flags & kRememberCancel) &&
                                block->cancelMarker && block->readerCount == readers &&
                                block->keyCount == frame.count;
    if (declinedBefore) {
      WriteLog(LogTrace, "ReaderDialogProc.", "2. %d. %d.", readers, frame.count);
      session_.lastError_ = ERROR_CANCELLED;
      return -1;
    }
    if (!(flags & kKeepSessionBlock)) {
      block->cancelMarker = 0;
      block->readerCount = readers;
      block->keyCount = frame.count;
    }
  }
  if (frame.count == 0) {
    if (session_.block_ && !(flags & kKeepSessionBlock)) {
      SessionBlock& block = *session_.block_;
      SecureZeroMemory(block.cardId, sizeof block.cardId);
      SecureZeroMemory(block.pin, sizeof block.pin);
      block.readerIndex = 0;
    }
    return readers;  // wait for a Key in any reader
  }
  if (frame.count == 1) return frame.table[0];
  if (RefusedWhenSilent()) return -1;
  return Show(frame, IDD_SESSION_CHOICE, ReaderProc);
}

INT_PTR CALLBACK SessionDialogs::ReaderProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  Frame* frame = FrameOf(dialog, message, lParam);
  if (!frame) return FALSE;
  switch (message) {
    case WM_INITDIALOG: {
      frame->Start(dialog);
      SetText(dialog, IDC_SESSION_PROMPT, frame->call.prompt);
      frame->ShowRequestBoxes(dialog);
      frame->OkAndCancelTexts(dialog);
      const HWND list = GetDlgItem(dialog, IDC_SESSION_ENTRY);
      for (int i = 0; i < frame->count; ++i) {
        const char* name = frame->session.Library().GetReaderName(frame->session.SnapshotReader(frame->table[i]));
        SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name ? name : ""));
      }
      SendMessageA(list, CB_SETCURSEL, 0, 0);
      return TRUE;
    }
    case WM_SYSCOMMAND:
      return frame->FilterSystemCommand(dialog, wParam);
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        const auto selected = SendDlgItemMessageA(dialog, IDC_SESSION_ENTRY, CB_GETCURSEL, 0, 0);
        const int row = selected >= 0 && selected < frame->count ? static_cast<int>(selected) : 0;
        frame->TakeRequests(dialog);
        EndDialog(dialog, frame->table[row]);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        frame->session.lastError_ = ERROR_CANCELLED;
        EndDialog(dialog, -1);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

// Waiting for a Key -------------------------------------------------------

int SessionDialogs::WaitDialog(const Call& call, int index) {
  Frame frame{session_, call};
  session_.lastError_ = 0;
  const int readers = session_.SnapshotCount();
  const bool anyReader = index == readers || readers == 0;
  frame.first = anyReader ? 0 : index;
  frame.end = anyReader ? -1 : index + 1;

  const int status = session_.CheckReaders(frame.first, frame.end < 0 ? session_.SnapshotCount() : frame.end);
  if (status >= 0 || status == tvkey32::kStatusFinallyBlocked || status == tvkey32::kStatusNoAttemptCount ||
      status == tvkey32::kStatusNotFormatted) {
    return status;
  }
  if (RefusedWhenSilent()) return -1;
  return Show(frame, IDD_SESSION_WAIT, WaitProc);
}

INT_PTR CALLBACK SessionDialogs::WaitProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  Frame* frame = FrameOf(dialog, message, lParam);
  if (!frame) return FALSE;
  switch (message) {
    case WM_INITDIALOG:
      frame->Start(dialog);
      SetText(dialog, IDC_SESSION_MESSAGE, kTextWaiting);
      SetText(dialog, IDCANCEL, kTextCancel);
      frame->ShowRequestBoxes(dialog);
      SetTimer(dialog, kPollTimer, kPollMilliseconds, nullptr);
      return TRUE;
    case WM_TIMER: {
      if (wParam != kPollTimer) return FALSE;
      KillTimer(dialog, kPollTimer);
      // "Any reader" takes in readers added while waiting.
      const int end = frame->end < 0 ? frame->session.SnapshotCount() : frame->end;
      const int status = frame->session.CheckReaders(frame->first, end);
      if (status < 0 && status != tvkey32::kStatusFinallyBlocked && status != tvkey32::kStatusNotFormatted) {
        SetTimer(dialog, kPollTimer, kPollMilliseconds, nullptr);
        return TRUE;
      }
      if (status >= 0) frame->TakeRequests(dialog);
      EndDialog(dialog, status);
      return TRUE;
    }
    case WM_SYSCOMMAND:
      return frame->FilterSystemCommand(dialog, wParam);
    case WM_COMMAND:
      if (LOWORD(wParam) != IDCANCEL) return FALSE;
      KillTimer(dialog, kPollTimer);
      frame->session.lastError_ = ERROR_CANCELLED;
      EndDialog(dialog, -1);
      return TRUE;
    default:
      return FALSE;
  }
}

// PIN ---------------------------------------------------------------------

int SessionDialogs::KeyDialog(const Call& call, char* pin, std::size_t size) {
  return ShowWithBuffer(call, pin, size, IDD_SESSION_PIN, KeyProc);
}

INT_PTR CALLBACK SessionDialogs::KeyProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  Frame* frame = FrameOf(dialog, message, lParam);
  if (!frame) return FALSE;
  switch (message) {
    case WM_INITDIALOG:
      frame->Start(dialog);
      SetText(dialog, IDC_SESSION_PROMPT, frame->call.prompt);
      SendDlgItemMessageA(dialog, IDC_SESSION_ENTRY, EM_LIMITTEXT, frame->size - 1, 0);
      frame->ShowRequestBoxes(dialog);
      SetText(dialog, IDC_SESSION_REMEMBER_PIN, kTextRememberPin);
      Check(dialog, IDC_SESSION_REMEMBER_PIN, frame->session.rememberPin_);
      frame->OkAndCancelTexts(dialog);
      SetFocus(GetDlgItem(dialog, IDC_SESSION_ENTRY));
      return FALSE;  // the focus is set
    case WM_SYSCOMMAND:
      return frame->FilterSystemCommand(dialog, wParam);
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (id != IDOK && id != IDCANCEL) return FALSE;
      if (id == IDOK) {
        GetDlgItemTextA(dialog, IDC_SESSION_ENTRY, frame->buffer, static_cast<int>(frame->size));
      } else {
        frame->session.lastError_ = ERROR_CANCELLED;
      }
      ClearEdit(dialog, IDC_SESSION_ENTRY);
      frame->TakeRequests(dialog);
      frame->session.rememberPin_ = Checked(dialog, IDC_SESSION_REMEMBER_PIN);
      EndDialog(dialog, id == IDOK ? 1 : 0);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

// New PIN -----------------------------------------------------------------

namespace {

// OK is possible when the holder asks for no PIN, or typed the same
// non-empty PIN twice.
void UpdateAccept(HWND dialog) {
  bool enable = !Checked(dialog, IDC_SESSION_HOLDER_CHECK);
  if (!enable) {
    char first[kPinBufferSize] = {};
    char second[kPinBufferSize] = {};
    GetDlgItemTextA(dialog, IDC_SESSION_NEW_PIN, first, sizeof first);
    GetDlgItemTextA(dialog, IDC_SESSION_CONFIRM_PIN, second, sizeof second);
    enable = first[0] != '\0' && std::strcmp(first, second) == 0;
    SecureZeroMemory(first, sizeof first);
    SecureZeroMemory(second, sizeof second);
  }
  EnableWindow(GetDlgItem(dialog, IDOK), enable);
}

void EnablePinEdits(HWND dialog, bool enable) {
  for (const int id : {IDC_SESSION_PIN_LABEL, IDC_SESSION_CONFIRM_LABEL, IDC_SESSION_NEW_PIN, IDC_SESSION_CONFIRM_PIN})
    EnableWindow(GetDlgItem(dialog, id), enable);
}

}  // namespace

int SessionDialogs::ChangeDialog(const Call& call, char* newPin, std::size_t size) {
  return ShowWithBuffer(call, newPin, size, IDD_SESSION_NEW_PIN, ChangeProc);
}

INT_PTR CALLBACK SessionDialogs::ChangeProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  Frame* frame = FrameOf(dialog, message, lParam);
  if (!frame) return FALSE;
  switch (message) {
    case WM_INITDIALOG: {
      frame->Start(dialog);
      SetText(dialog, IDC_SESSION_PIN_LABEL, frame->call.prompt);
      SetText(dialog, IDC_SESSION_CONFIRM_LABEL, frame->call.secondPrompt);
      SetText(dialog, IDC_SESSION_HOLDER_CHECK, kTextHolderVerification);
      FitControlToText(dialog, IDC_SESSION_HOLDER_CHECK);
      frame->OkAndCancelTexts(dialog);
      SetText(dialog, IDC_SESSION_ABORT, kTextAbort);
      SetText(dialog, IDC_SESSION_CHANGE_BIR, kTextChangeBir);
      Check(dialog, IDC_SESSION_CHANGE_BIR, frame->session.changeBirRequest_);
      for (const int id : {IDC_SESSION_NEW_PIN, IDC_SESSION_CONFIRM_PIN})
        SendDlgItemMessageA(dialog, id, EM_LIMITTEXT, frame->size - 1, 0);
      const bool hasPin = frame->buffer[0] != '\0';
      Check(dialog, IDC_SESSION_HOLDER_CHECK, hasPin);
      EnablePinEdits(dialog, hasPin);
      EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
      if (hasPin) {
        SetDlgItemTextA(dialog, IDC_SESSION_NEW_PIN, frame->buffer);
        SetDlgItemTextA(dialog, IDC_SESSION_CONFIRM_PIN, frame->buffer);
      }
      UpdateAccept(dialog);
      SetFocus(GetDlgItem(dialog, hasPin ? IDC_SESSION_NEW_PIN : IDC_SESSION_HOLDER_CHECK));
      return FALSE;  // the focus is set
    }
    case WM_SYSCOMMAND:
      return frame->FilterSystemCommand(dialog, wParam);
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const int code = HIWORD(wParam);
      if ((id == IDC_SESSION_NEW_PIN || id == IDC_SESSION_CONFIRM_PIN) && code == EN_CHANGE) {
        UpdateAccept(dialog);
        return TRUE;
      }
      if (id == IDC_SESSION_HOLDER_CHECK && code == BN_CLICKED) {
        const bool checked = Checked(dialog, IDC_SESSION_HOLDER_CHECK);
        EnablePinEdits(dialog, checked);
        if (checked) {
          ClearEdit(dialog, IDC_SESSION_NEW_PIN);
          ClearEdit(dialog, IDC_SESSION_CONFIRM_PIN);
        }
        UpdateAccept(dialog);
        return TRUE;
      }
      if (id != IDOK && id != IDCANCEL && id != IDC_SESSION_ABORT) return FALSE;
      int result = 0;
      if (id == IDOK) {
        SecureZeroMemory(frame->buffer, frame->size);
        if (Checked(dialog, IDC_SESSION_HOLDER_CHECK))
          GetDlgItemTextA(dialog, IDC_SESSION_NEW_PIN, frame->buffer, static_cast<int>(frame->size));
        result = 1;
      } else if (id == IDC_SESSION_ABORT) {
        frame->session.lastError_ = ERROR_CANCELLED;
        result = -1;
      }
      ClearEdit(dialog, IDC_SESSION_NEW_PIN);
      ClearEdit(dialog, IDC_SESSION_CONFIRM_PIN);
      frame->session.changeBirRequest_ = Checked(dialog, IDC_SESSION_CHANGE_BIR);
      EndDialog(dialog, result);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

}  // namespace tv::token
