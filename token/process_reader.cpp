// One look of the monitor at one reader: the InitCard status decides the
// reader's state, its status text and the owner's notifications.
#include "common/trace_log.h"
#include "token/smart_key.h"
#include "token/token_strings.h"

namespace tv::token {
namespace {

constexpr const char* kLabel = "cm - ProcessReader:";

// A Key that keeps no attempt count counts as having 3.
constexpr int kAssumedAttempts = 3;

struct UnusableKey {
  ReaderState state;
  UINT text;
  bool letGo;            // CloseCard (h, 1): the monitor is done with this Key
  bool readCardInformation;
};

// The statuses below 1 (other than "no Key" and "absent") that leave a Key
// unusable.
UnusableKey Unusable(int status) {
  switch (status) {
    case tvkey32::kStatusBlocked: return {ReaderState::Blocked, kTextBlocked, true, true};
    case tvkey32::kStatusFinallyBlocked: return {ReaderState::FinallyBlocked, kTextFinallyBlocked, true, false};
    case tvkey32::kStatusNotFormatted: return {ReaderState::NotFormatted, kTextNotFormatted, true, false};
    case tvkey32::kStatusKeyError:
    case tvkey32::kStatusReaderError: return {ReaderState::Faulty, kTextKeyError, true, true};
    default: return {ReaderState::Faulty, kTextUnidentified, false, true};  // the session is left as it is
  }
}

}  // namespace

bool CSmartKey::ProcessReader(std::size_t index) {
  if (index >= readers_.size()) return false;
  ReaderRecord& r = *readers_[index];
  bool absentRetried = false;
  for (;;) {
    SetLastError(0);
    WriteLog(LogMonitor, kLabel, "call InitCard rdrs=%08X, x=%d, [%X]", static_cast<unsigned>(r.handle),
             static_cast<int>(index), static_cast<unsigned>(applicationId_));
    int status = library_.InitCard(r.handle, applicationId_);
    r.lastError = GetLastError();
    WriteLog(LogMonitor, kLabel, "analizing ret value = %d [%X]", status, static_cast<unsigned>(r.lastError));
    if (status == tvkey32::kStatusNoAttemptCount) status = kAssumedAttempts;
    r.lastStatus = status;

    if (status == tvkey32::kStatusSessionAbsent) {
      // Absent from an earlier session: start afresh once, and only for a
      // reader that was waiting for a Key.
      if (r.state != ReaderState::Waiting || absentRetried) return false;
      WriteLog(LogMonitor, kLabel, "-5, on [csAbsent]'ed Key, doing InitCard again...");
      library_.CloseCard(r.handle, 0);
      absentRetried = true;
      continue;
    }
    if (status == tvkey32::kStatusNoKey) {
      r.ClearCachedPin();
      if (r.state != ReaderState::Waiting) KeyRemoved(r);
      return false;
    }
    if (status < 1) {
      const UnusableKey unusable = Unusable(status);
      const bool faultyKey = status == tvkey32::kStatusKeyError || status == tvkey32::kStatusReaderError;
      if (unusable.readCardInformation) RefreshCardInformation(r);
      if (faultyKey) r.ClearCachedPin();
      if (unusable.letGo) library_.CloseCard(r.handle, 1);
      SetState(r, unusable.state, unusable.text);
      Notify([&] { onKeyError(r.name, r.statusText); });
      return faultyKey;
    }

    RefreshCardInformation(r);
    r.attemptsLeft = status;
    if (library_.VerifyPIN(r.handle, r.cachedPin)) {
      r.failedPinCount = 0;
      SetState(r, ReaderState::Ready, kTextReady);
      Notify([&] { onPinVerified(r.name, r.handle, r.cachedPin); });
      library_.CloseCard(r.handle, 1);
      Notify([&] { onKeyReady(r.name); });
      return true;
    }
    library_.CloseCard(r.handle, 0);
    r.state = ReaderState::PinRequired;
    if (r.HasCachedPin()) {
      ++r.failedPinCount;
      int left = library_.InitCard(r.handle, applicationId_);
      library_.CloseCard(r.handle, 0);
      if (left == tvkey32::kStatusNoAttemptCount) left = kAssumedAttempts;
      if (left == tvkey32::kStatusBlocked) continue;  // the wrong PIN used the last attempt
      if (left > 0) r.attemptsLeft = left;
    }
    if (Notify([&] { return askPIN(r.name, r.failedPinCount, r.attemptsLeft); })) continue;
    // A rejected PIN is never tried again: it would use up the Key's attempts.
    SetState(r, ReaderState::PinRequired, kTextPinRequired);
    r.ClearCachedPin();
    library_.CloseCard(r.handle, 1);
    return false;
  }
}

void CSmartKey::KeyRemoved(ReaderRecord& r) {
  SetState(r, ReaderState::Waiting, kTextWaiting);
  r.failedPinCount = 0;
  r.card = {};
  Notify([&] { onKeyRemoved(r.name); });
}

}  // namespace tv::token
