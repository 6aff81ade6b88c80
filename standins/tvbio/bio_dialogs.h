// The enrolment and verification dialogs (tvbio_dialog_ids.h), shown modally
// over the owner window from this DLL's own resources.
#pragma once
#include <windows.h>

#include "standins/tvkey32/store/secret.h"

namespace tv::bio {

enum class DialogEnd { Ok, Cancelled, Failed };

struct EnrolChoice {
  DialogEnd end = DialogEnd::Cancelled;
  bool remove = false;           // the user chose to remove the record
  keysim::SecretBytes phrase;    // otherwise the phrase, typed twice alike
};

// `offerRemoval`: the Key has a record, so removing it is a choice.
EnrolChoice RunEnrolDialog(HWND owner, bool offerRemoval);

struct VerifyInput {
  DialogEnd end = DialogEnd::Cancelled;
  keysim::SecretBytes phrase;
};

VerifyInput RunVerifyDialog(HWND owner);

// The error to report for DialogEnd::Failed (the thread's last error, or
// ERROR_INVALID_WINDOW_HANDLE when the system left none).
DWORD DialogFailure();

}  // namespace tv::bio
