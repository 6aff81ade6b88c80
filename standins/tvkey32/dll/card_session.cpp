#include "standins/tvkey32/dll/card_session.h"

#include "standins/tvkey32/store/card_errors.h"
#include "standins/tvkey32/store/cross_process_lock.h"
#include "standins/tvkey32/store/locked_update.h"
#include "standins/tvkey32/store/simulator_files.h"
#include "standins/tvkey32/tvkey32_api.h"

namespace tv::keysim {
namespace {

constexpr std::uint32_t kContainerInsertion = 1;

// What the handle's reader holds right now. The caller holds the lock of
// the handle's scope.
struct Presence {
  DWORD error = 0;  // the reader is gone, or the reader set is unreadable
  bool keyPresent = false;
  std::uint32_t insertion = 0;
  KeyPlace place;
};

std::string LockScopeOf(const ReaderHandle& handle) {
  return handle.container ? handle.readerName : handle.directory;
}

Presence ObservePresence(const ReaderHandle& handle) {
  Presence p;
  if (handle.container) {
    p.keyPresent = true;
    p.insertion = kContainerInsertion;
    p.place = ContainerPlace(handle.readerName);
    return p;
  }
  const Loaded<ReaderSet> set = LoadReaderSet(handle.directory);
  if (!set.Ok()) {
    p.error = LoadError(set.status, set.error);
    return p;
  }
  const Reader* reader = set.value.Find(handle.readerName);
  if (!reader) {
    p.error = kErrorReaderGone;
    return p;
  }
  p.keyPresent = !reader->keyName.empty();
  p.insertion = reader->insertion;
  if (p.keyPresent) p.place = NamedKeyPlace(handle.directory, reader->keyName);
  return p;
}

// The Key in the reader. A container file that is missing or empty is a
// blank Key without PIN, written to the file by its first change.
Loaded<KeyState> LoadHandleKey(ReaderHandle& handle, const KeyPlace& place) {
  Loaded<KeyState> key = LoadKey(place);
  if (!handle.container) return key;
  if (key.status == LoadStatus::Missing || key.status == LoadStatus::Empty) {
    if (!handle.blankKey) handle.blankKey = MakeFormattedKey(KeySettings{});
    key.status = LoadStatus::Ok;
    key.value = *handle.blankKey;
  } else {
    handle.blankKey.reset();
  }
  return key;
}

int StatusOfUnloadable(LoadStatus status) {
  switch (status) {
    case LoadStatus::UnknownVersion: return tvkey32::kStatusUnidentified;
    case LoadStatus::IoError: return tvkey32::kStatusReaderError;
    default: return tvkey32::kStatusKeyError;
  }
}

DWORD ErrorOfStatus(int status) {
  switch (status) {
    case tvkey32::kStatusBlocked: return kErrorPinBlocked;
    case tvkey32::kStatusKeyError: return ERROR_IO_DEVICE;
    case tvkey32::kStatusNotFormatted: return kErrorNotFormatted;
    case tvkey32::kStatusFinallyBlocked: return kErrorPinBlocked;
    default: return 0;
  }
}

bool OpensSession(int status) { return status >= 0 || status == tvkey32::kStatusNoAttemptCount; }

// Why the Key cannot serve a card operation, or 0.
DWORD UnusableKeyError(const KeyState& key, const CardSession& session, Access access) {
  if (key.faulty) return ERROR_IO_DEVICE;
  if (!key.formatted) return kErrorNotFormatted;
  if (access == Access::PinProtected && HasPin(key)) {
    if (IsBlocked(key)) return kErrorPinBlocked;
    if (!session.pinVerified) return kErrorPinNotVerified;
  }
  return 0;
}

}  // namespace

int InitCardOn(ReaderHandle& handle, int application) {
  CrossProcessLock lock(LockScopeOf(handle));
  if (lock.Error() != 0) {
    SetLastError(lock.Error());
    return tvkey32::kStatusReaderError;
  }
  CardSession& session = handle.session;
  const Presence p = ObservePresence(handle);
  if (p.error != 0 && p.error != kErrorReaderGone) {
    SetLastError(p.error);
    return tvkey32::kStatusReaderError;
  }
  if (!p.keyPresent) {
    SetLastError(p.error != 0 ? p.error : kErrorNoKey);
    return tvkey32::kStatusNoKey;
  }
  const bool sameKey = p.insertion == session.insertion;
  if ((session.mode == SessionMode::Parked && sameKey) || (session.mode == SessionMode::Open && !sameKey)) {
    SetLastError(0);
    return tvkey32::kStatusSessionAbsent;
  }
  const Loaded<KeyState> key = LoadHandleKey(handle, p.place);
  const int status = key.Ok() ? CardStatusOf(key.value) : StatusOfUnloadable(key.status);
  session = CardSession{};
  if (OpensSession(status)) {
    session.mode = SessionMode::Open;
    session.insertion = p.insertion;
    session.application = static_cast<std::uint32_t>(application);
  }
  SetLastError(key.Ok() ? ErrorOfStatus(status) : LoadError(key.status, key.error));
  return status;
}

void CloseCardOn(ReaderHandle& handle, int flag) {
  CardSession& session = handle.session;
  session = CardSession{};
  if (flag == 0) return;
  CrossProcessLock lock(LockScopeOf(handle));
  if (lock.Error() != 0) return;
  const Presence p = ObservePresence(handle);
  if (p.error != 0 || !p.keyPresent) return;
  session.mode = SessionMode::Parked;
  session.insertion = p.insertion;
}

DWORD RunCardOperation(ReaderHandle& handle, Access access, const CardOperation& operation) {
  CardSession& session = handle.session;
  if (session.mode != SessionMode::Open) return kErrorNoSession;
  CrossProcessLock lock(LockScopeOf(handle));
  if (lock.Error() != 0) return lock.Error();
  const Presence p = ObservePresence(handle);
  if (p.error != 0) return p.error;
  if (!p.keyPresent || p.insertion != session.insertion) return kErrorKeyRemoved;
  Loaded<KeyState> key = LoadHandleKey(handle, p.place);
  if (!key.Ok()) return LoadError(key.status, key.error);
  if (const DWORD error = UnusableKeyError(key.value, session, access)) return error;
  const Outcome outcome = operation(key.value, session);
  if (outcome.changed) {
    if (const DWORD error = SaveKey(p.place, key.value)) return error;
    handle.blankKey.reset();
  }
  return outcome.error;
}

}  // namespace tv::keysim
