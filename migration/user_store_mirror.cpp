#include "migration/user_store_mirror.h"

#include <functional>
#include <vector>

namespace tv::migration {
namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// Runs `change` on the registry entry of `certificate`, when there is one;
// the last error is left as it was.
void WithUserStoreEntry(PCCERT_CONTEXT certificate, const std::function<void(HCERTSTORE, PCCERT_CONTEXT)>& change) {
  const DWORD error = GetLastError();
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0,
                                   CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_OPEN_EXISTING_FLAG, L"MY");
  if (store) {
    if (PCCERT_CONTEXT entry =
            CertFindCertificateInStore(store, kEncoding, 0, CERT_FIND_EXISTING, certificate, nullptr))
      change(store, entry);
    CertCloseStore(store, 0);
  }
  SetLastError(error);
}

}  // namespace

bool InUserStore(PCCERT_CONTEXT certificate) {
  bool found = false;
  WithUserStoreEntry(certificate, [&](HCERTSTORE, PCCERT_CONTEXT entry) {
    found = true;
    CertFreeCertificateContext(entry);
  });
  return found;
}

void UpdateUserStoreEntry(PCCERT_CONTEXT certificate) {
  DWORD size = 0;
  if (!CertSerializeCertificateStoreElement(certificate, 0, nullptr, &size)) return;
  std::vector<BYTE> element(size);
  if (!CertSerializeCertificateStoreElement(certificate, 0, element.data(), &size)) return;
  WithUserStoreEntry(certificate, [&](HCERTSTORE store, PCCERT_CONTEXT entry) {
    // Even a property set on the registry store's own certificate is not
    // written out: the entry is replaced by the certificate as it is now.
    CertDeleteCertificateFromStore(entry);
    CertAddSerializedElementToStore(store, element.data(), size, CERT_STORE_ADD_NEW, 0,
                                    CERT_STORE_CERTIFICATE_CONTEXT_FLAG, nullptr, nullptr);
  });
}

void DeleteFromUserStore(PCCERT_CONTEXT certificate) {
  WithUserStoreEntry(certificate, [](HCERTSTORE, PCCERT_CONTEXT entry) { CertDeleteCertificateFromStore(entry); });
}

}  // namespace tv::migration
