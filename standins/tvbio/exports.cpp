// The exports of TVBioAPI.dll. The caller uses BioGetBIR_GUI and
// BioVerifyBIR_GUI; the other eight exist because the caller binds all ten,
// and fail with ERROR_CALL_NOT_IMPLEMENTED. The resource module argument is
// not used: the dialogs come from this DLL's own resources.
#include <windows.h>

#include "standins/tvbio/enrolment.h"
#include "standins/tvbio/verification.h"

namespace {

BOOL Finish(DWORD error) {
  SetLastError(error);
  return error == 0;
}

BOOL NotImplemented() { return Finish(ERROR_CALL_NOT_IMPLEMENTED); }

}  // namespace

extern "C" {

BOOL WINAPI BioEnumReaders(DWORD, char*, DWORD*) { return NotImplemented(); }
BOOL WINAPI BioInitReader(const char*) { return NotImplemented(); }
BOOL WINAPI BioCloseReader(DWORD) { return NotImplemented(); }
BOOL WINAPI BioVerifyBIR(const BYTE*, DWORD, const BYTE*, DWORD) { return NotImplemented(); }

// With a null buffer: the enrolment dialog (offering removal when `hasRecord`
// is non-zero); *size becomes the new record's size, 0 for removal. With a
// buffer: the record captured by the previous call.
BOOL WINAPI BioGetBIR_GUI(HINSTANCE, HWND owner, BYTE* buffer, DWORD* size, DWORD hasRecord) {
  return Finish(tv::bio::Enrol(owner, buffer, size, hasRecord != 0));
}

BOOL WINAPI BioVerifyBIR_GUI(HINSTANCE, HWND owner, const BYTE* record, DWORD size, DWORD, DWORD) {
  return Finish(tv::bio::Verify(owner, record, size));
}

BOOL WINAPI BioCaptureBIR(BYTE*, DWORD*) { return NotImplemented(); }
BOOL WINAPI BioCompareBIRS(const BYTE*, DWORD, const BYTE*, DWORD) { return NotImplemented(); }
BOOL WINAPI BioCaptureBIR_GUI(HINSTANCE, HWND, BYTE*, DWORD*) { return NotImplemented(); }
BOOL WINAPI BioGetBIR(BYTE*, DWORD*, DWORD) { return NotImplemented(); }

}  // extern "C"
