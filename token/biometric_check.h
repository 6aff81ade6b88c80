// Biometric check of the Key holder: after the PIN, a Key that carries a
// biometric record (BIR) passes only if the holder's sample matches it; the
// holder may enrol, replace or remove the record. Capture and comparison are
// done by the biometric library, loaded for one check at a time; the record
// is read and written through the token library under the processing dialog.
#pragma once
#include <windows.h>

#include "token/bio_library.h"
#include "token/token_library.h"

namespace tv::token {

class BiometricCheck {
 public:
  // `token` must stay bound while the check runs.
  explicit BiometricCheck(const TokenLibrary& token, const char* bioLibrary = kBioLibraryName)
      : token_(token), bioLibrary_(bioLibrary) {}

  // `resources`: the module holding the dialogs; `caption`: the title of
  // message boxes; `reader`: the reader handle of an opened Key whose PIN
  // was verified. A Key without a record passes without loading the
  // biometric library. False with the reason as the last error.
  bool VerifyBIR(HINSTANCE resources, HWND owner, const char* caption, int reader) const;
  // Lets the holder enrol a new record (replacing the old one) or remove it.
  // False with the reason as the last error; ERROR_CANCELLED when the holder
  // cancelled (the record is then unchanged). A record larger than the Key's
  // free space (beside the old record) is refused with message 2541 and
  // SCARD_E_NO_MEMORY before anything is written.
  bool ChangeBIR(HINSTANCE resources, HWND owner, const char* caption, int reader) const;

 private:
  // The size of the Key's record; false with message 2527.
  bool RecordSize(HWND owner, const char* caption, int reader, DWORD& size) const;
  // Message 2518 naming the biometric library, keeping the loader's error.
  void ReportLoadFailure(HWND owner, const char* caption) const;
  bool WriteRecord(HINSTANCE resources, HWND owner, const char* caption, int reader, const BioLibrary& bio,
                   DWORD oldSize, DWORD newSize) const;

  const TokenLibrary& token_;
  const char* bioLibrary_;
};

}  // namespace tv::token
