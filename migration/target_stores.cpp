#include "migration/target_stores.h"

#include "certstore/store_types.h"

namespace tv::migration {
namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

const certstore::PhysicalStore& Row(TargetStore store) {
  return certstore::kPhysicalStoreTable[static_cast<std::size_t>(store)];
}

// Wine's crypt32 answers an open of a physical store with null and no
// error at all; a real "not implemented" says so.
bool PhysicalStoresMissing(DWORD error) {
  return error == 0 || error == ERROR_CALL_NOT_IMPLEMENTED || error == static_cast<DWORD>(E_NOTIMPL);
}

}  // namespace

std::wstring TargetStoreName(TargetStore store, bool onKey) {
  return std::wstring(Row(store).systemStore) + L"\\" + (onKey ? certstore::kPhysicalStoreName : L".Default");
}

HCERTSTORE OpenTargetStore(TargetStore store, bool onKey) {
  const certstore::PhysicalStore& row = Row(store);
  const std::wstring name = TargetStoreName(store, onKey);
  SetLastError(0);
  if (HCERTSTORE opened = CertOpenStore(CERT_STORE_PROV_PHYSICAL_W, kEncoding, 0, row.location, name.c_str()))
    return opened;
  if (!PhysicalStoresMissing(GetLastError())) return nullptr;
  if (onKey) return CertOpenStore(certstore::kProviderName, 0, 0, row.location, row.openParameter);
  return CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, row.location, row.systemStore);
}

bool KeyStoreHoldsCertificate() {
  HCERTSTORE store = OpenTargetStore(TargetStore::Personal, true);
  if (!store) return false;
  PCCERT_CONTEXT first = CertEnumCertificatesInStore(store, nullptr);
  if (first) CertFreeCertificateContext(first);
  CertCloseStore(store, 0);
  return first != nullptr;
}

}  // namespace tv::migration
