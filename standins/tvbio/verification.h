// Verification: the user gives a sample (the finger phrase) in the dialog,
// and it is compared with the Key's record.
#pragma once
#include <windows.h>

namespace tv::bio {

// Returns 0 for a match, or the error: ERROR_ACCESS_DENIED (no match),
// ERROR_CANCELLED, ERROR_INVALID_DATA (not a record of this library; no
// dialog is shown), ERROR_INVALID_PARAMETER, or the dialog's failure.
DWORD Verify(HWND owner, const BYTE* record, DWORD size);

}  // namespace tv::bio
