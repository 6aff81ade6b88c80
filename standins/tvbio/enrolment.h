// Enrolment in two calls, as the caller makes them: first without a buffer,
// which shows the dialog and answers the size of the new record (0 when the
// user chose to remove the record); then with a buffer, which hands over
// the record captured by the first call. The record waits in between in
// this process only, and is wiped when handed over or replaced.
#pragma once
#include <windows.h>

namespace tv::bio {

// Returns 0 or the error: ERROR_CANCELLED (the user cancelled),
// ERROR_INVALID_STATE (a buffer but no captured record), ERROR_MORE_DATA
// (buffer too small; *size is set to the record's size),
// ERROR_INVALID_PARAMETER, or the dialog's or the generator's failure.
DWORD Enrol(HWND owner, BYTE* buffer, DWORD* size, bool hasRecord);

}  // namespace tv::bio
