#include "standins/tvbio/bio_dialogs.h"

#include "standins/tvbio/tvbio_dialog_ids.h"

namespace tv::bio {
namespace {

struct DialogState {
  bool offerRemoval = false;
  bool remove = false;
  keysim::SecretBytes phrase;
};

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ThisModule), &module);
  return module;
}

// The control's text; empty when the dialog has no such control.
keysim::SecretBytes ControlText(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  if (!control) return {};
  keysim::SecretBytes text(static_cast<std::size_t>(GetWindowTextLengthA(control)) + 1);
  const int n = GetWindowTextA(control, reinterpret_cast<char*>(text.data()), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  return text;
}

// The removal box counts only where it is offered (enabled).
bool RemovalChecked(HWND dialog) {
  HWND removal = GetDlgItem(dialog, IDC_BIO_REMOVE);
  return removal && IsWindowEnabled(removal) && IsDlgButtonChecked(dialog, IDC_BIO_REMOVE) == BST_CHECKED;
}

// OK is allowed for a removal, or for a non-empty phrase that (on the
// enrolment dialog) was typed the same way twice.
bool Acceptable(HWND dialog) {
  if (RemovalChecked(dialog)) return true;
  const keysim::SecretBytes phrase = ControlText(dialog, IDC_BIO_PHRASE);
  if (phrase.empty()) return false;
  return !GetDlgItem(dialog, IDC_BIO_CONFIRM) || phrase == ControlText(dialog, IDC_BIO_CONFIRM);
}

void UpdateControls(HWND dialog) {
  const bool removal = RemovalChecked(dialog);
  EnableWindow(GetDlgItem(dialog, IDC_BIO_PHRASE), !removal);
  if (HWND confirm = GetDlgItem(dialog, IDC_BIO_CONFIRM)) EnableWindow(confirm, !removal);
  EnableWindow(GetDlgItem(dialog, IDOK), Acceptable(dialog));
}

void Initialise(HWND dialog, DialogState& state) {
  SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&state));
  SendDlgItemMessageA(dialog, IDC_BIO_PHRASE, EM_LIMITTEXT, TVBIO_MAX_PHRASE, 0);
  SendDlgItemMessageA(dialog, IDC_BIO_CONFIRM, EM_LIMITTEXT, TVBIO_MAX_PHRASE, 0);
  if (HWND removal = GetDlgItem(dialog, IDC_BIO_REMOVE)) {
    EnableWindow(removal, state.offerRemoval);
    ShowWindow(removal, state.offerRemoval ? SW_SHOW : SW_HIDE);
  }
  UpdateControls(dialog);
  SetForegroundWindow(dialog);
}

void Accept(HWND dialog, DialogState& state) {
  if (!Acceptable(dialog)) {
    MessageBeep(MB_ICONWARNING);
    return;
  }
  state.remove = RemovalChecked(dialog);
  if (!state.remove) state.phrase = ControlText(dialog, IDC_BIO_PHRASE);
  // Empty the edits, so that the phrase stays nowhere but in the wiped buffer.
  SetDlgItemTextA(dialog, IDC_BIO_PHRASE, "");
  if (GetDlgItem(dialog, IDC_BIO_CONFIRM)) SetDlgItemTextA(dialog, IDC_BIO_CONFIRM, "");
  EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      Initialise(dialog, *reinterpret_cast<DialogState*>(lParam));
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          Accept(dialog, *state);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        case IDC_BIO_PHRASE:
        case IDC_BIO_CONFIRM:
        case IDC_BIO_REMOVE:
          UpdateControls(dialog);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

DialogEnd Show(int templateId, HWND owner, DialogState& state) {
  const INT_PTR result = DialogBoxParamA(ThisModule(), MAKEINTRESOURCEA(templateId), owner, DialogProc,
                                         reinterpret_cast<LPARAM>(&state));
  if (result == IDOK) return DialogEnd::Ok;
  return result == IDCANCEL ? DialogEnd::Cancelled : DialogEnd::Failed;
}

}  // namespace

DWORD DialogFailure() {
  const DWORD error = GetLastError();
  return error != 0 ? error : ERROR_INVALID_WINDOW_HANDLE;
}

EnrolChoice RunEnrolDialog(HWND owner, bool offerRemoval) {
  DialogState state;
  state.offerRemoval = offerRemoval;
  EnrolChoice choice;
  choice.end = Show(IDD_BIO_ENROL, owner, state);
  choice.remove = state.remove;
  choice.phrase = std::move(state.phrase);
  return choice;
}

VerifyInput RunVerifyDialog(HWND owner) {
  DialogState state;
  VerifyInput input;
  input.end = Show(IDD_BIO_VERIFY, owner, state);
  input.phrase = std::move(state.phrase);
  return input;
}

}  // namespace tv::bio
