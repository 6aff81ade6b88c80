#include "migration/certificate_text.h"

#include <cstdio>

namespace tv::migration {
namespace {

constexpr int kNameCharacters = 127;

std::string NameAttribute(PCCERT_CONTEXT certificate, DWORD flags, const char* oid) {
  char name[kNameCharacters + 1] = {};
  CertGetNameStringA(certificate, CERT_NAME_ATTR_TYPE, flags, const_cast<char*>(oid), name, sizeof name);
  return name;
}

}  // namespace

std::string CommonName(PCCERT_CONTEXT certificate, bool issuer) {
  return NameAttribute(certificate, issuer ? CERT_NAME_ISSUER_FLAG : 0, szOID_COMMON_NAME);
}

std::string EmailAddress(PCCERT_CONTEXT certificate) { return NameAttribute(certificate, 0, szOID_RSA_emailAddr); }

std::string DateText(const FILETIME& time) {
  static constexpr const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                            "jul", "aug", "sep", "oct", "nov", "dec"};
  SYSTEMTIME date = {};
  if (!FileTimeToSystemTime(&time, &date) || date.wMonth < 1 || date.wMonth > 12) return {};
  char text[32];
  std::snprintf(text, sizeof text, "%02d %s %d", date.wDay, kMonths[date.wMonth - 1], date.wYear);
  return text;
}

}  // namespace tv::migration
