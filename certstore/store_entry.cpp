#include "certstore/store_entry.h"

#include "certstore/prov_info_blob.h"
#include "common/trace_log.h"

namespace tv::certstore {
namespace {

constexpr const char* kAddLabel = "add_cert_blob_to_store";
constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr DWORD kProvInfoPropertyFlags = 5;

struct CertificateContext {
  PCCERT_CONTEXT context = nullptr;
  ~CertificateContext() {
    if (context) CertFreeCertificateContext(context);
  }
};

bool Fail(const char* what) {
  const DWORD error = GetLastError();
  WriteLog(LogError, kAddLabel, what, static_cast<unsigned>(error));
  SetLastError(error);
  return false;
}

}  // namespace

std::wstring FriendlyName(PCCERT_CONTEXT certificate, const std::string& readerName) {
  char name[kFriendlyNameLength + 1] = {};
  CertGetNameStringA(certificate, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME), name, sizeof name);
  std::string text = name;
  if (text.size() + 3 + readerName.size() > kFriendlyNameLength) return {};
  text += " - " + readerName;
  wchar_t wide[kFriendlyNameLength + 1] = {};
  const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, static_cast<int>(kFriendlyNameLength + 1));
  return n > 0 ? std::wstring(wide) : std::wstring();
}

CacheEntry MakeCacheEntry(std::vector<BYTE> record, const std::string& readerName) {
  CacheEntry entry{std::move(record), {}};
  const auto view = ParseCertRecord(entry.record);
  if (!view) return entry;
  CertificateContext certificate{CertCreateCertificateContext(
      kEncoding, view->certificate.data(), static_cast<DWORD>(view->certificate.size()))};
  if (certificate.context) entry.friendlyName = FriendlyName(certificate.context, readerName);
  return entry;
}

bool AddEntryToStore(HCERTSTORE store, const CacheEntry& entry) {
  const auto view = ParseCertRecord(entry.record);
  if (!view) {
    SetLastError(static_cast<DWORD>(CRYPT_E_BAD_ENCODE));
    return Fail("record does not hold together %08X");
  }
  // The key-provider information is checked before the certificate goes
  // into the store, so that a bad one leaves no certificate without its key.
  const bool personal = view->type == StoreType::Personal;
  alignas(CRYPT_KEY_PROV_INFO) BYTE provInfo[kProvInfoBufferSize];
  DWORD provInfoLength = sizeof provInfo;
  if (personal && !UnserializeProvInfo(CERT_KEY_PROV_INFO_PROP_ID, view->provInfoBlob, provInfo, &provInfoLength))
    return Fail("unserializing property %08X");

  CertificateContext added;
  if (!CertAddEncodedCertificateToStore(store, kEncoding, view->certificate.data(),
                                        static_cast<DWORD>(view->certificate.size()),
                                        CERT_STORE_ADD_REPLACE_EXISTING, &added.context))
    return Fail("add encoded certificate to store %08X");
  CRYPT_DATA_BLOB name{static_cast<DWORD>((entry.friendlyName.size() + 1) * sizeof(wchar_t)),
                       reinterpret_cast<BYTE*>(const_cast<wchar_t*>(entry.friendlyName.c_str()))};
  if (!CertSetCertificateContextProperty(added.context, CERT_FRIENDLY_NAME_PROP_ID, 0, &name))
    return Fail("CertSetCertificateContextProperty Friendly Name %08X");
  if (personal && !CertSetCertificateContextProperty(added.context, CERT_KEY_PROV_INFO_PROP_ID,
                                                      kProvInfoPropertyFlags, provInfo))
    return Fail("CertSetCertificateContextProperty  %08X");
  return true;
}

}  // namespace tv::certstore
