#include "tests/migration/user_stores.h"

namespace tvtest {

bool AddToUserStore(const char* store, const Certificate& certificate) {
  HCERTSTORE opened = CertOpenSystemStoreA(0, store);
  if (!opened) return false;
  const bool added =
      CertAddCertificateContextToStore(opened, certificate.Get(), CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != FALSE;
  CertCloseStore(opened, 0);
  return added;
}

HCERTSTORE OpenRegistryStore(const std::string& name) {
  const std::wstring store(name.begin() + 3, name.end());
  const DWORD location = name.rfind("LM:", 0) == 0 ? CERT_SYSTEM_STORE_LOCAL_MACHINE : CERT_SYSTEM_STORE_CURRENT_USER;
  return CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, location, store.c_str());
}

std::string CommonNameOf(PCCERT_CONTEXT certificate) {
  char name[128] = {};
  CertGetNameStringA(certificate, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME), name, sizeof name);
  return name;
}

void RemoveCertificates(const std::string& registryStore, const std::string& prefix) {
  HCERTSTORE store = OpenRegistryStore(registryStore);
  if (!store) return;
  for (PCCERT_CONTEXT certificate = CertEnumCertificatesInStore(store, nullptr); certificate;) {
    // The enumeration goes on from a reference of its own: the delete frees this one.
    PCCERT_CONTEXT next = CertEnumCertificatesInStore(store, CertDuplicateCertificateContext(certificate));
    if (CommonNameOf(certificate).rfind(prefix, 0) == 0)
      CertDeleteCertificateFromStore(certificate);
    else
      CertFreeCertificateContext(certificate);
    certificate = next;
  }
  CertCloseStore(store, 0);
}

}  // namespace tvtest
