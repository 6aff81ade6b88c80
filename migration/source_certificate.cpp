#include "migration/source_certificate.h"

#include "migration/user_store_mirror.h"

namespace tv::migration {

SourceCertificate::~SourceCertificate() { Release(false); }

void SourceCertificate::CloseKeptStore() {
  if (keptStore_) CertCloseStore(keptStore_, 0);
  keptStore_ = nullptr;
}

void SourceCertificate::Take(PCCERT_CONTEXT certificate) {
  PCCERT_CONTEXT copy = CertDuplicateCertificateContext(certificate);
  Release(false);
  context_ = copy;
  key_ = KeySource();
}

bool SourceCertificate::Release(bool remove) {
  bool removed = true;
  if (context_ && remove) {
    // The delete frees the context whether or not it succeeds.
    const bool fromUserStore = FromUserStore();
    PCCERT_CONTEXT copy = CertDuplicateCertificateContext(context_);
    removed = CertDeleteCertificateFromStore(context_) != FALSE;
    if (fromUserStore) DeleteFromUserStore(copy);
    CertFreeCertificateContext(copy);
  } else if (context_) {
    CertFreeCertificateContext(context_);
  }
  context_ = nullptr;
  const DWORD error = GetLastError();
  CloseKeptStore();
  SetLastError(error);
  return removed;
}

void SourceCertificate::MovedTo(PCCERT_CONTEXT copy, HCERTSTORE store) {
  Release(false);
  context_ = copy;
  keptStore_ = store;
}

}  // namespace tv::migration
