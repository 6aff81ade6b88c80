#include "certstore/cert_store_provider.h"

#include <vector>

#include "certstore/key_data_area.h"
#include "certstore/prov_info_blob.h"
#include "certstore/store_entry.h"
#include "common/language.h"
#include "common/trace_log.h"

namespace tv::certstore {
namespace {

constexpr const char* kOpenLabel = "           Open:";
constexpr const char* kWriteLabel = "      WriteCert:";
constexpr const char* kPrepareLabel = "prep_buf_from_cer:";
constexpr const char* kWriteBlobLabel = "write_cert_blob:";
constexpr const char* kLogTag = "cstore";

// The module holding this code (the store provider's DLL, or a test program
// linking it): its resources hold the Key session's dialogs.
HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ThisModule), &module);
  return module;
}

bool FailWith(DWORD error) {
  SetLastError(error);
  return false;
}

// The key-provider information of `certificate`, or an empty buffer.
std::vector<BYTE> KeyProvInfo(PCCERT_CONTEXT certificate) {
  DWORD length = 0;
  if (!CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &length)) return {};
  std::vector<BYTE> buffer(length);
  if (!CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &length)) return {};
  return buffer;
}

const CRYPT_KEY_PROV_INFO* AsProvInfo(const std::vector<BYTE>& buffer) {
  return buffer.size() >= sizeof(CRYPT_KEY_PROV_INFO) ? reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer.data())
                                                       : nullptr;
}

StoreType Classify(PCCERT_CONTEXT certificate) {
  const std::vector<BYTE> buffer = KeyProvInfo(certificate);
  const CRYPT_KEY_PROV_INFO* info = AsProvInfo(buffer);
  if (info && info->pwszContainerName && info->pwszContainerName[0]) return StoreType::Personal;
  const CERT_INFO& names = *certificate->pCertInfo;
  return CertCompareCertificateName(X509_ASN_ENCODING, const_cast<CERT_NAME_BLOB*>(&names.Issuer),
                                    const_cast<CERT_NAME_BLOB*>(&names.Subject))
             ? StoreType::Root
             : StoreType::Intermediate;
}

// The record of `certificate` as `type`, or empty (traced, last error set).
std::vector<BYTE> PrepareRecord(PCCERT_CONTEXT certificate, StoreType type) {
  BYTE hash[kHashLength];
  DWORD hashLength = sizeof hash;
  if (!CertGetCertificateContextProperty(certificate, CERT_SHA1_HASH_PROP_ID, hash, &hashLength)) {
    WriteLog(LogError, kPrepareLabel, "could not get certificate HASH_PROP property %08X",
             static_cast<unsigned>(GetLastError()));
    return {};
  }
  BYTE blob[kProvInfoBufferSize];
  DWORD blobLength = 0;
  if (type == StoreType::Personal) {
    const std::vector<BYTE> buffer = KeyProvInfo(certificate);
    blobLength = sizeof blob;
    if (!SerializeProvInfo(CERT_KEY_PROV_INFO_PROP_ID, AsProvInfo(buffer), blob, &blobLength)) {
      WriteLog(LogError, kPrepareLabel, "could not get certificate KEY_PROV_INFO property %08X",
               static_cast<unsigned>(GetLastError()));
      return {};
    }
  }
  std::vector<BYTE> record = BuildCertRecord(type, Bytes(certificate->pbCertEncoded, certificate->cbCertEncoded),
                                             Bytes(hash, hashLength), Bytes(blob, blobLength));
  if (record.empty()) {
    WriteLog(LogError, kPrepareLabel, "not enough space for ProvInfo");
    SetLastError(ERROR_FILE_TOO_LARGE);
  }
  return record;
}

}  // namespace

CertStoreProvider::CertStoreProvider()
    : CSmartKey_GUI(token::kStoreSmartKey, kLogTag),
      runKey_([this](const KeyRequest& request, const certstore::KeyOperation& operation) {
        return RunWithSessionKey(request, operation);
      }),
      environment_(SystemProcessEnvironment()) {}

// The monitor calls onKeyRemoved, which uses the cache: it ends first.
CertStoreProvider::~CertStoreProvider() { Finalize(); }

bool CertStoreProvider::EnsureInitialized() {
  return Initialize(kCertificateApplication) || GetLastError() == ERROR_ALREADY_INITIALIZED;
}

bool CertStoreProvider::Open(const char* openParameter, HCERTSTORE store) {
  if (!EnsureInitialized()) {
    WriteLog(LogError, kOpenLabel, "1. %08X.", static_cast<unsigned>(GetLastError()));
    return false;
  }
  WriteLog(LogTrace, kOpenLabel, "2.");
  if (IsSystemUser(environment_) || IsIgnoredProcess(environment_)) return true;
  // A parameter of none of our stores gets an empty store without the Key.
  const StoreType type = StoreTypeOf(openParameter);
  return type == StoreType::Unknown || FillStore(type, store);
}

bool CertStoreProvider::FillStore(StoreType type, HCERTSTORE store) {
  WriteLog(LogMonitor, kOpenLabel, "cache_num = %d", static_cast<int>(cache_.Count()));
  std::vector<CacheEntry> cached = cache_.EntriesOf(type);
  if (HoldsOneCertificate(type) && cached.size() > 1) cached.resize(1);
  for (const CacheEntry& entry : cached)
    if (!AddEntryToStore(store, entry)) return false;
  if (!cached.empty() || !cache_.ReadAllowed()) return true;

  WriteLog(LogTrace, kOpenLabel, "performing custom read_certs");
  if (ReadKeyIntoStore(type, store)) {
    WriteLog(LogTrace, kOpenLabel, "monitoring ...");
    StartMonitoring();
  } else {
    WriteLog(LogTrace, kOpenLabel, "card not found");
  }
  return true;
}

bool CertStoreProvider::ReadKeyIntoStore(StoreType type, HCERTSTORE store) {
  KeyRecords found;
  const bool read = runKey_(kOpenCertificateRequest, [&](int reader) {
    if (!ReadCertRecords(Library(), reader, type, cache_.FreeEntries(), found)) return false;
    // Only a Key found empty keeps later opens away; a read that failed
    // says nothing about the Key.
    cache_.SetReadAllowed(!found.empty);
    return true;
  });
  if (!read) return false;
  for (std::vector<BYTE>& record : found.records) {
    const CacheEntry entry = MakeCacheEntry(std::move(record), found.readerName);
    // A certificate that CryptoAPI refuses stays off the store and out of the
    // cache; the others still come.
    if (!AddEntryToStore(store, entry) || !cache_.Add(entry)) continue;
    WriteLog(LogTrace, kOpenLabel, "added %s certificate to cache, total_num=%d", StoreTypeName(type),
             static_cast<int>(cache_.Count()));
  }
  return true;
}

bool CertStoreProvider::WriteCertificate(PCCERT_CONTEXT certificate) {
  if (IsIgnoredProcess(environment_)) return FailWith(ERROR_ACCESS_DENIED);
  if (!IsMigrationTool(environment_)) {
    WriteLog(LogTrace, kWriteLabel, "ignoring card. Only Key Migration could write on card");
    return FailWith(ERROR_ACCESS_DENIED);
  }
  if (certificate->cbCertEncoded >= kCertificateTooLong) {
    WriteLog(LogError, kWriteLabel, "cert_size is too big");
    return FailWith(ERROR_FILE_TOO_LARGE);
  }
  const StoreType type = Classify(certificate);
  std::vector<BYTE> record = PrepareRecord(certificate, type);
  if (record.empty()) {
    const DWORD error = GetLastError();
    WriteLog(LogError, kWriteLabel, "could not prepare buffer, return false");
    return FailWith(error);
  }
  // A personal certificate empties the cache first; any other needs a free
  // entry, which is known before the Key is touched.
  if (type != StoreType::Personal && cache_.FreeEntries() == 0) {
    WriteLog(LogError, kWriteLabel, "certificate cache is full");
    return FailWith(ERROR_NOT_ENOUGH_QUOTA);
  }
  const CacheEntry entry{std::move(record), {}};
  if (!EnsureInitialized()) return false;
  WriteLog(LogTrace, kWriteLabel, "performing custom write");
  const KeyRequest& request = type == StoreType::Personal ? kWritePersonalRequest : kWriteCertificateRequest;
  if (runKey_(request, [&](int reader) { return WriteRecord(reader, entry); })) return true;
  const DWORD error = GetLastError();
  WriteLog(LogTrace, kWriteLabel, "failed, certificate will be written to registry");
  return FailWith(error);
}

bool CertStoreProvider::WriteRecord(int reader, const CacheEntry& entry) {
  DWORD occupied = 0;
  if (!OccupiedSize(Library(), reader, &occupied)) {
    const DWORD error = GetLastError();
    WriteLog(LogError, kWriteBlobLabel, "reading occupated space");
    return FailWith(error);
  }
  if (!IsMigrationTool(environment_)) {
    WriteLog(LogTrace, kWriteBlobLabel, "ignoring card. permit only for tvmover");
    return FailWith(ERROR_ACCESS_DENIED);
  }
  const StoreType type = entry.Type();
  if (type == StoreType::Personal) {
    WriteLog(LogTrace, kWriteBlobLabel, "deleting all data from key before writing MY");
    if (!Library().DeleteData(reader)) {
      const DWORD error = GetLastError();
      WriteLog(LogError, kWriteBlobLabel, "deleting all certificates %08X", static_cast<unsigned>(error));
      return FailWith(error);
    }
    occupied = 0;
    cache_.ClearCache();
  }
  if (cache_.HasConflict(entry)) {
    WriteLog(LogWarning, kWriteBlobLabel, "certificate of this type already exist in cache");
    return FailWith(static_cast<DWORD>(CRYPT_E_EXISTS));
  }
  if (!WriteRecordAt(Library(), reader, occupied, entry.record)) {
    const DWORD error = GetLastError();
    WriteLog(LogError, kWriteBlobLabel, "writing certificate to card %08X", static_cast<unsigned>(error));
    return FailWith(error);
  }
  const char* readerName = Library().GetReaderName(reader);
  cache_.Add(MakeCacheEntry(entry.record, readerName ? readerName : ""));
  WriteLog(LogTrace, kWriteBlobLabel, "added %s certificate to cache, total_num=%d", StoreTypeName(type),
           static_cast<int>(cache_.Count()));
  cache_.SetReadAllowed(true);
  return true;
}

bool CertStoreProvider::DeleteCertificates() {
  if (!EnsureInitialized()) return false;
  const bool deleted = runKey_(kDeleteCertificateRequest, [&](int reader) {
    if (Library().DeleteData(reader)) {
      WriteLog(LogTrace, "delete_certs:", "delete certificates");
      return true;
    }
    const DWORD error = GetLastError();
    WriteLog(LogError, "delete_certs:", "deleting certificates %08X", static_cast<unsigned>(error));
    return FailWith(error);
  });
  if (deleted) cache_.ClearCache();
  return deleted;
}

void CertStoreProvider::onKeyRemoved(const char* readerName) {
  WriteLog(LogTrace, "onKeyRemoved:", "called reader=\"%s\"", readerName ? readerName : "");
  cache_.ClearCache();
  StopMonitoring();
}

bool CertStoreProvider::RunWithSessionKey(const KeyRequest& request, const certstore::KeyOperation& operation) {
  char caption[token::kCaptionKept + 1];
  LoadStringText(request.captionId, caption, sizeof caption);
  return RunWithKey(ThisModule(), GetActiveWindow(), caption, request.openFlags, nullptr,
                    [&](void*, int reader) { return operation(reader); });
}

}  // namespace tv::certstore
