// The four dialogs of a Key session: the choice among several Keys, the wait
// for a Key, the PIN and the new PIN. Each is a resource template of the
// module the caller names; texts come from the string table. A dialog that
// would have to be shown in a silent session is not created: it ends at once
// with -1 and NTE_SILENT_CONTEXT.
//
// What a shown dialog works on lives in a frame on the caller's stack, passed
// to the window at its creation, so two sessions never share dialog state.
#pragma once
#include <windows.h>

#include <cstddef>

namespace tv::token {

class CSmartKey_GUI;

inline constexpr std::size_t kCaptionKept = 127;

class SessionDialogs {
 public:
  // What every dialog of one OpenCard shows.
  struct Call {
    HINSTANCE resources = nullptr;
    HWND owner = nullptr;  // null instead of the desktop
    char caption[kCaptionKept + 1] = {};
    const char* line113 = "";  // the two information lines
    const char* line114 = "";
    UINT prompt = 0;        // the string number of the prompt, or of the first label
    UINT secondPrompt = 0;  // the second label of the new-PIN dialog
  };

  explicit SessionDialogs(CSmartKey_GUI& session) : session_(session) {}

  // The snapshot index of the reader to wait on; the reader count for "any
  // reader" when no Key is present; -1 when cancelled (now or, with a
  // remembered cancel, before).
  int ReaderDialog(const Call& call, int flags);
  // The InitCard status of the Key found in reader `index` (any reader when
  // it is the reader count), or -1 when cancelled.
  int WaitDialog(const Call& call, int index);
  // 1 with the PIN typed (at most size - 1 characters) in `pin`, 0 when
  // cancelled, -1 when silent.
  int KeyDialog(const Call& call, char* pin, std::size_t size);
  // 1 with the new PIN in `newPin` (zero-filled for "no PIN"), 0 for Cancel,
  // -1 for Abort or when silent.
  int ChangeDialog(const Call& call, char* newPin, std::size_t size);

 private:
  struct Frame;

  int Show(Frame& frame, int templateId, DLGPROC procedure);
  // In a silent session no dialog is made: true, with NTE_SILENT_CONTEXT.
  bool RefusedWhenSilent();
  // A dialog that fills `buffer` (the PIN or the new PIN).
  int ShowWithBuffer(const Call& call, char* buffer, std::size_t size, int templateId, DLGPROC procedure);
  // The frame handed to the window at its creation.
  static Frame* FrameOf(HWND dialog, UINT message, LPARAM lParam);
  static INT_PTR CALLBACK ReaderProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  static INT_PTR CALLBACK WaitProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  static INT_PTR CALLBACK KeyProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  static INT_PTR CALLBACK ChangeProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

  CSmartKey_GUI& session_;
};

}  // namespace tv::token
