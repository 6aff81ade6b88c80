// What the applet shows of a certificate: the common names of its subject
// and issuer, the subject's e-mail address and the expiration date.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <string>

namespace tv::migration {

// The subject's (or, with `issuer`, the issuer's) common name, at most 127
// characters; empty when the name has none.
std::string CommonName(PCCERT_CONTEXT certificate, bool issuer);
// The subject's e-mail attribute; empty when there is none.
std::string EmailAddress(PCCERT_CONTEXT certificate);
// "%02d %s %d": day, lower-case three-letter month, year ("07 mar 2027").
std::string DateText(const FILETIME& time);

}  // namespace tv::migration
