// The store provider's reader manager and the body of its store callbacks:
// filling an opened store from the cache or the Key, writing a certificate
// to the Key, deleting the Key's certificates, and forgetting the cache when
// the Key is removed.
//
// Every use of the Key goes through the KeyRunner: the Key session
// (RunWithKey), which finds the Key, asks for its PIN when it is not
// remembered and pauses the monitor meanwhile; tests put their own runner.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "certstore/cert_cache.h"
#include "certstore/key_access.h"
#include "certstore/process_rules.h"
#include "certstore/store_types.h"
#include "token/key_session.h"

namespace tv::certstore {

inline constexpr int kCertificateApplication = 226;

class CertStoreProvider : public token::CSmartKey_GUI {
 public:
  CertStoreProvider();
  ~CertStoreProvider() override;

  void SetKeyRunner(KeyRunner runner) { runKey_ = std::move(runner); }
  void SetEnvironment(ProcessEnvironment environment) { environment_ = std::move(environment); }

  // Initialises the reader manager (once) and fills `store` with the Key's
  // certificates of the type that `openParameter` names, unless the process
  // or the user may not use the Key. False only when the reader manager
  // cannot be initialised or a cached certificate cannot be added; a Key
  // that cannot be read leaves the store empty.
  bool Open(const char* openParameter, HCERTSTORE store);
  // Writes `certificate` to the Key (migration tool only). False with the
  // reason as the last error: CRYPT_E_EXISTS for a second root certificate
  // or the same intermediate again, ERROR_NOT_ENOUGH_QUOTA when the cache is
  // full, ERROR_FILE_TOO_LARGE for a certificate of 2953 bytes or more,
  // ERROR_ACCESS_DENIED for any other process, or the Key's error.
  bool WriteCertificate(PCCERT_CONTEXT certificate);
  // Empties the Key's certificate area and the cache.
  bool DeleteCertificates();

  CertCache& Cache() { return cache_; }

 protected:
  void onKeyRemoved(const char* readerName) override;

 private:
  // The reader manager is bound by the first open, write or delete.
  bool EnsureInitialized();
  bool FillStore(StoreType type, HCERTSTORE store);
  bool ReadKeyIntoStore(StoreType type, HCERTSTORE store);
  bool WriteRecord(int reader, const CacheEntry& entry);
  // The Key session's use of a Key for `request`, its dialogs titled with
  // the request's caption over the active window.
  bool RunWithSessionKey(const KeyRequest& request, const certstore::KeyOperation& operation);

  CertCache cache_;
  KeyRunner runKey_;
  ProcessEnvironment environment_;
};

}  // namespace tv::certstore
