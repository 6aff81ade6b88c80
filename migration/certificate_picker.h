// The certificate picker: a list of the user's personal certificates that
// have a key container, sortable by each column, with the platform's
// certificate dialog behind View.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

namespace tv::migration {

// The picker lists at most this many certificates and says so when the
// store holds more.
inline constexpr std::size_t kMaxListedCertificates = 2048;

// One row of the picker.
struct CertificateRow {
  PCCERT_CONTEXT certificate = nullptr;  // a reference of its own
  std::string subject, issuer, expires;
};

// The certificates of `store` whose key-provider information names a
// container, at most `limit` of them; `more` tells whether further ones were
// left out. False (traced, the last error set) when a property could not be
// read for another reason than its absence; the rows are then freed.
bool ListKeyCertificates(HCERTSTORE store, std::size_t limit, std::vector<CertificateRow>* rows, bool* more);
void FreeRows(std::vector<CertificateRow>* rows);

// Runs the picker over `owner` with `current` (may be null) preselected.
// Returns a new reference to the certificate chosen with OK, or null when
// the picker was cancelled or could not list the store.
PCCERT_CONTEXT PickCertificate(HWND owner, PCCERT_CONTEXT current);

}  // namespace tv::migration
