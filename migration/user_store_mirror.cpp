#include "migration/user_store_mirror.h"

#include <functional>

namespace tv::migration {
namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// Runs `change` on the registry entry of `certificate`, when there is one;
// the last error is left as it was.
void WithUserStoreEntry(PCCERT_CONTEXT certificate, const std::function<void(PCCERT_CONTEXT)>& change) {
  const DWORD error = GetLastError();
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0,
                                   CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_OPEN_EXISTING_FLAG, L"MY");
  if (store) {
    if (PCCERT_CONTEXT entry = CertFindCertificateInStore(store, kEncoding, 0, CERT_FIND_EXISTING, certificate, nullptr))
      change(entry);
    CertCloseStore(store, 0);
  }
  SetLastError(error);
}

}  // namespace

void SetPropertyInUserStore(PCCERT_CONTEXT certificate, DWORD property, const void* data) {
  WithUserStoreEntry(certificate, [&](PCCERT_CONTEXT entry) {
    CertSetCertificateContextProperty(entry, property, 0, data);
    CertFreeCertificateContext(entry);
  });
}

void DeleteFromUserStore(PCCERT_CONTEXT certificate) {
  WithUserStoreEntry(certificate, [](PCCERT_CONTEXT entry) { CertDeleteCertificateFromStore(entry); });
}

}  // namespace tv::migration
