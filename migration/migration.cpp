#include "migration/migration.h"

#include <objbase.h>
#include <wincrypt.h>

#include <cstdio>
#include <utility>

#include "common/trace_log.h"
#include "common/wait_cursor.h"
#include "csp/crypto/cpu/wipe.h"
#include "migration/applet_messages.h"
#include "migration/applet_strings.h"
#include "migration/certificate_chain.h"
#include "migration/target_stores.h"
#include "migration/user_store_mirror.h"

namespace tv::migration {
namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// A provider context, released when it goes.
class Provider {
 public:
  Provider() = default;
  ~Provider() {
    if (handle_) CryptReleaseContext(handle_, 0);
  }
  Provider(const Provider&) = delete;
  Provider& operator=(const Provider&) = delete;
  bool Acquire(const std::string& container, const ProviderEntry& provider, DWORD flags) {
    return CryptAcquireContextA(&handle_, container.c_str(), provider.name.c_str(), provider.type, flags) != FALSE;
  }
  HCRYPTPROV Get() const { return handle_; }

 private:
  HCRYPTPROV handle_ = 0;
};

// A key, destroyed when it goes.
class Key {
 public:
  Key() = default;
  ~Key() {
    if (handle_) CryptDestroyKey(handle_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HCRYPTKEY* Out() { return &handle_; }
  HCRYPTKEY Get() const { return handle_; }

 private:
  HCRYPTKEY handle_ = 0;
};

// A failure whose error was ERROR_CANCELLED is the user's choice.
int FailureOf(int result) { return GetLastError() == ERROR_CANCELLED ? kCancelled : result; }

ProviderEntry SourceProvider(const SourceCertificate& source) {
  return {source.Key().provider, source.Key().providerType};
}

// Steps of the key move. Each returns 0 or the failure's result.

// The source's key pair (exchange first, then signature) as a wiped blob.
int ExportSourceKey(const SourceCertificate& source, crypto::WipingBuffer* blob, DWORD* blobLength, DWORD* keySpec) {
  Provider provider;
  if (!provider.Acquire(source.Key().container, SourceProvider(source), 0)) {
    if (GetLastError() != ERROR_CANCELLED)
      WriteLog(LogError, "MigrateKey:", "CryptAcquireContext  hOldProv %08lX", GetLastError());
    return FailureOf(kSourceUnavailable);
  }
  Key key;
  *keySpec = AT_KEYEXCHANGE;
  if (!CryptGetUserKey(provider.Get(), AT_KEYEXCHANGE, key.Out())) {
    *keySpec = AT_SIGNATURE;
    if (!CryptGetUserKey(provider.Get(), AT_SIGNATURE, key.Out())) {
      WriteLog(LogError, "MigrateKey:", "CryptGetUserKey  hOldKey %08lX", GetLastError());
      return kNoKeyPair;
    }
  }
  DWORD size = 0;
  if (CryptExportKey(key.Get(), 0, PRIVATEKEYBLOB, 0, nullptr, &size)) {
    *blob = crypto::WipingBuffer(size);
    *blobLength = size;
    if (blob->Size() == size && CryptExportKey(key.Get(), 0, PRIVATEKEYBLOB, 0, blob->Data(), blobLength)) return 0;
  }
  WriteLog(LogError, "MigrateKey:", "CryptExportKey  hOldKey %08lX", GetLastError());
  return kExportFailed;
}

int ImportIntoNewContainer(const std::string& container, const ProviderEntry& target, const crypto::WipingBuffer& blob,
                           DWORD blobLength) {
  Provider provider;
  if (!provider.Acquire(container, target, CRYPT_NEWKEYSET)) {
    if (GetLastError() != ERROR_CANCELLED)
      WriteLog(LogError, "MigrateKey:", "CryptAcquireContext  hNewProv %08lX", GetLastError());
    return FailureOf(kTargetUnavailable);
  }
  Key key;
  if (!CryptImportKey(provider.Get(), blob.Data(), blobLength, 0, CRYPT_EXPORTABLE, key.Out())) {
    WriteLog(LogError, "MigrateKey:", "CryptImportKey  hNewProv %08lX", GetLastError());
    return kImportFailed;
  }
  return 0;
}

bool PointAtContainer(const SourceCertificate& source, const std::string& container, const ProviderEntry& target,
                      DWORD keySpec) {
  std::wstring wideContainer = ToWide(container), wideProvider = ToWide(target.name);
  CRYPT_KEY_PROV_INFO info = {};
  info.pwszContainerName = wideContainer.data();
  info.pwszProvName = wideProvider.data();
  info.dwProvType = target.type;
  info.dwKeySpec = keySpec;
  if (CertSetCertificateContextProperty(source.Context(), CERT_KEY_PROV_INFO_PROP_ID, 0, &info)) {
    if (source.InUserStore()) UpdateUserStoreEntry(source.Context());
    return true;
  }
  WriteLog(LogError, "MigrateKey:", "CertSetCertificateContextProperty new_prov new_cont %08lX", GetLastError());
  return false;
}

// 0 when the old container is gone, else why not.
int DeleteOldContainer(const SourceCertificate& source) {
  HCRYPTPROV gone = 0;
  if (CryptAcquireContextA(&gone, source.Key().container.c_str(), source.Key().provider.c_str(),
                           source.Key().providerType, CRYPT_DELETEKEYSET))
    return 0;
  const DWORD error = GetLastError();
  WriteLog(LogTrace, "MigrateKey:", "deleting old key %08lX", error);
  if (error == ERROR_CANCELLED) return kCancelled;
  WriteLog(LogError, "MigrateKey:", "CryptAcquireContext hOldProv CRYPT_DELETEKEYSET %08lX", error);
  return kOldKeyKept;
}

int CertificateFailure(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND: return kStoreProviderMissing;
    case 0x80100006: return kKeyFull;
    case static_cast<DWORD>(CERT_E_CHAINING): return kIncompletePath;
    default: return kCertificatesFailed;
  }
}

// Certificate phase.

constexpr const char* kCertificateLabel = "migrate_certificate:";

// Adds `certificate` to the target store with CERT_STORE_ADD_ALWAYS.
bool AddToTargetStore(PCCERT_CONTEXT certificate, TargetStore which, bool onKey) {
  const std::wstring name = TargetStoreName(which, onKey);
  WriteLog(LogTrace, "add_cert_to_cert_store:", "openning store %ls.", name.c_str());
  HCERTSTORE store = OpenTargetStore(which, onKey);
  if (!store) {
    WriteLog(LogError, "add_cert_to_cert_store:", "openning store %08lX", GetLastError());
    return false;
  }
  WriteLog(LogTrace, "add_cert_to_cert_store:", "adding to store %p.", store);
  const bool added = CertAddCertificateContextToStore(store, certificate, CERT_STORE_ADD_ALWAYS, nullptr) != FALSE;
  const DWORD error = GetLastError();
  if (added)
    WriteLog(LogError, "add_cert_to_cert_store:", "OK.");
  else
    WriteLog(LogError, "add_cert_to_cert_store:", "adding to store %08lX", error);
  CertCloseStore(store, 0);
  SetLastError(error);
  return added;
}

// Cuts the friendly name at its first " - " (not at its start), so that the
// reader name the Key's store adds does not follow the certificate.
void StripReaderSuffix(PCCERT_CONTEXT certificate) {
  DWORD size = 0;
  if (!CertGetCertificateContextProperty(certificate, CERT_FRIENDLY_NAME_PROP_ID, nullptr, &size)) return;
  std::wstring name(size / sizeof(wchar_t) + 1, L'\0');
  if (!CertGetCertificateContextProperty(certificate, CERT_FRIENDLY_NAME_PROP_ID, name.data(), &size)) return;
  name.resize(wcslen(name.c_str()));
  const std::size_t cut = name.find(L" - ");
  if (cut == std::wstring::npos || cut == 0) return;
  name.resize(cut);
  const CRYPT_DATA_BLOB blob = {static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t)),
                                reinterpret_cast<BYTE*>(name.data())};
  CertSetCertificateContextProperty(certificate, CERT_FRIENDLY_NAME_PROP_ID, 0, &blob);
}

// Removes what a failed migration wrote to the Key: deleting one
// certificate of the Key's personal store deletes every one on the Key.
void ClearKeyStore() {
  HCERTSTORE store = OpenTargetStore(TargetStore::Personal, true);
  if (!store) {
    WriteLog(LogError, "delete_card_store:", "openning store");
    return;
  }
  if (PCCERT_CONTEXT first = CertEnumCertificatesInStore(store, nullptr)) CertDeleteCertificateFromStore(first);
  CertCloseStore(store, 0);
}

// A failed certificate phase: traced, the Key's partial copy removed when
// the Key was the target, the last error kept.
bool CertificatesFailed(const char* what, bool onKey) {
  const DWORD error = GetLastError();
  if (error == static_cast<DWORD>(CRYPT_E_EXISTS)) WriteLog(LogError, kCertificateLabel, "CRYPT_E_EXISTS");
  WriteLog(LogError, kCertificateLabel, "%s", what);
  if (onKey) ClearKeyStore();
  SetLastError(error);
  return false;
}

// Adds the source certificate to the personal target store; the new
// context, and whether the certificate counts as moved (a copy that
// existed there already counts as moved only across the Key's boundary).
PCCERT_CONTEXT AddPersonal(HCERTSTORE store, const SourceCertificate& source, const MigrationChoice& choice,
                           bool* moved) {
  PCCERT_CONTEXT added = nullptr;
  *moved = true;
  if (CertAddCertificateContextToStore(store, source.Context(), CERT_STORE_ADD_NEW, &added)) return added;
  if (GetLastError() != static_cast<DWORD>(CRYPT_E_EXISTS)) {
    WriteLog(LogError, kCertificateLabel, "adding to store new %08lX", GetLastError());
    return nullptr;
  }
  *moved = (source.Key().provider == kKeyProvider) != (choice.target.name == kKeyProvider);
  if (CertAddCertificateContextToStore(store, source.Context(), CERT_STORE_ADD_ALWAYS, &added)) return added;
  WriteLog(LogError, kCertificateLabel, "adding to store always%08lX", GetLastError());
  return nullptr;
}

}  // namespace

UINT ResultMessage(int result, UINT* icon) {
  struct Row {
    int result;
    UINT message;
    UINT icon;
  };
  static constexpr Row kMessages[] = {
      {kSourceUnavailable, 1084, MB_ICONERROR}, {kNoKeyPair, 1086, MB_ICONERROR},
      {kExportFailed, 1080, MB_ICONERROR},      {kTargetUnavailable, 1083, MB_ICONERROR},
      {kImportFailed, 1081, MB_ICONERROR},      {kPropertyNotSet, 1082, MB_ICONERROR},
      {kCancelled, 2420, MB_ICONWARNING},       {kStoreProviderMissing, 1090, MB_ICONERROR},
      {kKeyFull, 1091, MB_ICONERROR},           {kCertificatesFailed, 1089, MB_ICONERROR},
      {kIncompletePath, 1102, MB_ICONERROR},
  };
  for (const Row& row : kMessages) {
    if (row.result == result) {
      *icon = row.icon;
      return row.message;
    }
  }
  *icon = MB_ICONERROR;
  return 1088;
}

std::string GuidContainerName(const GUID& guid) {
  char name[64];
  std::snprintf(name, sizeof name, "{%08lX-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return name;
}

MigrationOutcome MigrateKey(HWND owner, SourceCertificate& source, const MigrationChoice& choice) {
  MigrationOutcome outcome;
  GUID guid = {};
  if (FAILED(CoCreateGuid(&guid)) || guid == GUID{}) return outcome;
  WaitCursor wait;
  const std::string container = choice.containerName.empty() ? GuidContainerName(guid) : choice.containerName;
  const bool fromKey = source.Key().provider == kKeyProvider;

  crypto::WipingBuffer blob;
  DWORD blobLength = 0;
  DWORD keySpec = 0;
  if ((outcome.result = ExportSourceKey(source, &blob, &blobLength, &keySpec)) != 0) return outcome;
  if (fromKey) ShowMessage(owner, kTextExported, MB_ICONINFORMATION);
  if ((outcome.result = ImportIntoNewContainer(container, choice.target, blob, blobLength)) != 0) return outcome;
  blob = crypto::WipingBuffer();

  if (!PointAtContainer(source, container, choice.target, keySpec)) {
    outcome.result = kPropertyNotSet;
    return outcome;
  }
  outcome.keyMoved = true;
  if (fromKey) ShowMessage(owner, kTextImported, MB_ICONINFORMATION);
  outcome.result = DeleteOldContainer(source);
  const bool oldKeyDeleted = outcome.result == 0;

  if (choice.withCertificates) {
    ShowMessage(owner, oldKeyDeleted ? kTextKeyMigrated : kTextKeyNotDeleted, MB_ICONINFORMATION);
    outcome.result = kNotMigrated;
    if (!MigrateCertificates(source, choice)) {
      WriteLog(LogError, "MigrateKey:", "migrate certificate %08lX", GetLastError());
      outcome.result = CertificateFailure(GetLastError());
      return outcome;
    }
  }
  ShowMessage(owner, kTextCompleted, MB_OK);
  outcome.completed = true;
  return outcome;
}

bool MigrateCertificates(SourceCertificate& source, const MigrationChoice& choice) {
  const bool onKey = choice.target.name == kKeyProvider;
  CertificateChain chain;
  switch (chain.Build(source.Context())) {
    case CertificateChain::Status::StoresUnavailable:
      // Nothing was copied: that is a failure, not a migration done.
      return CertificatesFailed("openning system store", onKey);
    case CertificateChain::Status::Incomplete:
      SetLastError(static_cast<DWORD>(CERT_E_CHAINING));
      return CertificatesFailed("zero certificates in chain", onKey);
    case CertificateChain::Status::Complete: break;
  }

  HCERTSTORE personal = OpenTargetStore(TargetStore::Personal, onKey);
  if (!personal) {
    WriteLog(LogError, kCertificateLabel, "openning store %08lX", GetLastError());
    return CertificatesFailed("openning store", onKey);
  }
  bool moved = true;
  PCCERT_CONTEXT copy = AddPersonal(personal, source, choice, &moved);
  if (!copy) {
    const DWORD error = GetLastError();
    CertCloseStore(personal, 0);
    SetLastError(error);
    return CertificatesFailed("adding to store", onKey);
  }
  if (!onKey) StripReaderSuffix(copy);

  const std::vector<PCCERT_CONTEXT>& path = chain.Certificates();
  for (std::size_t i = 0; i + 1 < path.size(); ++i) {
    if (!AddToTargetStore(path[i], TargetStore::Intermediate, onKey)) {
      const DWORD error = GetLastError();
      CertFreeCertificateContext(copy);
      CertCloseStore(personal, 0);
      SetLastError(error);
      return CertificatesFailed("adding CA certificates", onKey);
    }
  }
  AddToTargetStore(path.back(), TargetStore::Root, onKey);

  source.Release(moved && !choice.leaveCopy);
  source.MovedTo(copy, personal);
  return true;
}

}  // namespace tv::migration
