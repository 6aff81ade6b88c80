// What the Migrate button does: the key pair of the chosen certificate goes
// from its provider into a new container of the target provider through
// CryptoAPI (exported as a PRIVATEKEYBLOB and imported), the certificate is
// pointed at the new container and the old container deleted; then, on
// request, the certificate and its issuer path are copied into the target's
// stores (the Key's when the target is the Key's provider).
#pragma once
#include <windows.h>

#include <string>

#include "migration/source_certificate.h"
#include "migration/target_providers.h"

namespace tv::migration {

// How a migration ended; 0 while nothing went wrong.
enum MigrationResult : int {
  kNotMigrated = 0,
  kSourceUnavailable = -1,
  kNoKeyPair = -2,
  kExportFailed = -3,
  kTargetUnavailable = -4,
  kImportFailed = -5,
  kPropertyNotSet = -6,
  kOldKeyKept = -7,
  kCancelled = -8,
  kStoreProviderMissing = -9,
  kKeyFull = -10,
  kCertificatesFailed = -11,
  kIncompletePath = -12,
};

// What the user chose in the main dialog.
struct MigrationChoice {
  std::string containerName;  // empty: a fresh GUID names the new container
  ProviderEntry target;
  bool withCertificates = false;
  bool leaveCopy = false;
};

struct MigrationOutcome {
  bool completed = false;
  int result = kNotMigrated;
  // The certificate now points at the new container: the dialog shows it
  // again, from wherever it now is.
  bool keyMoved = false;
};

// The string shown for a failed migration's result, and its icon.
UINT ResultMessage(int result, UINT* icon);

// The container name made from a GUID:
// "{%08lX-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X}".
std::string GuidContainerName(const GUID& guid);

// Runs the migration of `source` with its information messages owned by
// `owner`; on completion the last one ("Migration is successfully
// completed.") has been shown.
MigrationOutcome MigrateKey(HWND owner, SourceCertificate& source, const MigrationChoice& choice);

// Copies the certificate of `source` and its issuer path into the target
// stores and makes the copy the source. False with the last error set.
bool MigrateCertificates(SourceCertificate& source, const MigrationChoice& choice);

}  // namespace tv::migration
