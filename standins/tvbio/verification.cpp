#include "standins/tvbio/verification.h"

#include <span>

#include "standins/tvbio/bio_dialogs.h"
#include "standins/tvbio/bio_record.h"

namespace tv::bio {

DWORD Verify(HWND owner, const BYTE* record, DWORD size) {
  if (!record) return ERROR_INVALID_PARAMETER;
  const std::span<const std::uint8_t> stored(record, size);
  if (!IsRecord(stored)) return ERROR_INVALID_DATA;
  const VerifyInput input = RunVerifyDialog(owner);
  if (input.end == DialogEnd::Cancelled) return ERROR_CANCELLED;
  if (input.end == DialogEnd::Failed) return DialogFailure();
  return MatchRecord(stored, keysim::AsText(input.phrase)) == RecordMatch::Match ? 0 : ERROR_ACCESS_DENIED;
}

}  // namespace tv::bio
