#include "migration/certificate_chain.h"

namespace tv::migration {
namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

bool SelfSigned(PCCERT_CONTEXT certificate) {
  return CertCompareCertificateName(kEncoding, &certificate->pCertInfo->Issuer, &certificate->pCertInfo->Subject) !=
         FALSE;
}

}  // namespace

void CertificateChain::Clear() {
  for (PCCERT_CONTEXT certificate : certificates_) CertFreeCertificateContext(certificate);
  certificates_.clear();
}

bool CertificateChain::AppendIssuer(HCERTSTORE store, PCCERT_CONTEXT certificate) {
  PCCERT_CONTEXT issuer =
      CertFindCertificateInStore(store, kEncoding, 0, CERT_FIND_SUBJECT_NAME, &certificate->pCertInfo->Issuer, nullptr);
  if (!issuer) return false;
  certificates_.push_back(issuer);
  return true;
}

CertificateChain::Status CertificateChain::Build(PCCERT_CONTEXT certificate) {
  Clear();
  HCERTSTORE intermediates = CertOpenSystemStoreA(0, "CA");
  if (!intermediates) return Status::StoresUnavailable;
  // The path is followed through "CA" until a self-signed certificate ends
  // it or no issuer is found there; the bound also ends a loop of issuers.
  PCCERT_CONTEXT last = certificate;
  bool rootFound = false;
  while (!rootFound && certificates_.size() < kMaxCertificates && AppendIssuer(intermediates, last)) {
    last = certificates_.back();
    rootFound = SelfSigned(last);
  }
  CertCloseStore(intermediates, 0);
  if (rootFound) return Status::Complete;
  if (certificates_.size() < kMaxCertificates) {
    HCERTSTORE roots = CertOpenSystemStoreA(0, "ROOT");
    if (!roots) {
      Clear();
      return Status::StoresUnavailable;
    }
    rootFound = AppendIssuer(roots, last);
    CertCloseStore(roots, 0);
  }
  if (rootFound) return Status::Complete;
  Clear();
  return Status::Incomplete;
}

}  // namespace tv::migration
