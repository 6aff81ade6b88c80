#include "standins/tvbio/enrolment.h"

#include <algorithm>
#include <mutex>
#include <optional>

#include "standins/tvbio/bio_dialogs.h"
#include "standins/tvbio/bio_record.h"

namespace tv::bio {
namespace {

struct PendingRecord {
  std::mutex mutex;
  std::optional<keysim::SecretBytes> record;
};

PendingRecord& Pending() {
  static PendingRecord pending;
  return pending;
}

DWORD Capture(HWND owner, DWORD* size, bool hasRecord) {
  const EnrolChoice choice = RunEnrolDialog(owner, hasRecord);
  if (choice.end == DialogEnd::Cancelled) return ERROR_CANCELLED;
  if (choice.end == DialogEnd::Failed) return DialogFailure();
  std::optional<keysim::SecretBytes> record;
  if (!choice.remove) {
    record = MakeRecord(keysim::AsText(choice.phrase));
    if (!record) return ERROR_GEN_FAILURE;
  }
  *size = record ? static_cast<DWORD>(record->size()) : 0;
  const std::lock_guard<std::mutex> guard(Pending().mutex);
  Pending().record = std::move(record);
  return 0;
}

DWORD HandOver(BYTE* buffer, DWORD* size) {
  const std::lock_guard<std::mutex> guard(Pending().mutex);
  std::optional<keysim::SecretBytes>& record = Pending().record;
  if (!record) return ERROR_INVALID_STATE;
  if (*size < record->size()) {
    *size = static_cast<DWORD>(record->size());
    return ERROR_MORE_DATA;
  }
  std::copy(record->begin(), record->end(), buffer);
  *size = static_cast<DWORD>(record->size());
  record.reset();
  return 0;
}

}  // namespace

DWORD Enrol(HWND owner, BYTE* buffer, DWORD* size, bool hasRecord) {
  if (!size) return ERROR_INVALID_PARAMETER;
  return buffer ? HandOver(buffer, size) : Capture(owner, size, hasRecord);
}

}  // namespace tv::bio
