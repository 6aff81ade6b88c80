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
  HCERTSTORE store = copy->hCertStore ? CertDuplicateStore(copy->hCertStore) : nullptr;
  Release(false);
  context_ = copy;
  keptStore_ = store;
  key_ = KeySource();
  inUserStore_ = migration::InUserStore(copy);
}

bool SourceCertificate::Release(bool remove) {
  bool removed = true;
  if (context_ && remove) {
    // The delete frees the context whether or not it succeeds.
    PCCERT_CONTEXT copy = CertDuplicateCertificateContext(context_);
    removed = CertDeleteCertificateFromStore(context_) != FALSE;
    if (inUserStore_) DeleteFromUserStore(copy);
    CertFreeCertificateContext(copy);
  } else if (context_) {
    CertFreeCertificateContext(context_);
  }
  context_ = nullptr;
  inUserStore_ = false;
  const DWORD error = GetLastError();
  CloseKeptStore();
  SetLastError(error);
  return removed;
}

void SourceCertificate::MovedTo(PCCERT_CONTEXT copy, HCERTSTORE store) {
  Release(false);
  context_ = copy;
  keptStore_ = store;
  inUserStore_ = false;
}

}  // namespace tv::migration
