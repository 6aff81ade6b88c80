#include "standins/tvkey32/store/locked_update.h"

#include "standins/tvkey32/store/cross_process_lock.h"

namespace tv::keysim {
namespace {

template <class T, class Load, class Save>
DWORD Update(const std::string& lockScope, Load load, Save save, const std::function<DWORD(T&)>& change) {
  CrossProcessLock lock(lockScope);
  if (lock.Error() != 0) return lock.Error();
  Loaded<T> loaded = load();
  if (!loaded.Ok()) return LoadError(loaded.status, loaded.error);
  const DWORD error = change(loaded.value);
  return error != 0 ? error : save(loaded.value);
}

}  // namespace

DWORD LoadError(LoadStatus status, DWORD ioError) {
  switch (status) {
    case LoadStatus::Ok: return 0;
    case LoadStatus::Missing: return ERROR_FILE_NOT_FOUND;
    case LoadStatus::Empty:
    case LoadStatus::Damaged: return ERROR_FILE_CORRUPT;
    case LoadStatus::UnknownVersion: return ERROR_UNSUPPORTED_TYPE;
    case LoadStatus::IoError: return ioError;
  }
  return ERROR_FILE_CORRUPT;
}

DWORD UpdateKeyFile(const KeyPlace& place, const std::function<DWORD(KeyState&)>& change) {
  return Update<KeyState>(
      place.lockScope, [&] { return LoadKey(place); }, [&](const KeyState& k) { return SaveKey(place, k); }, change);
}

DWORD UpdateReaderSet(const std::string& directory, const std::function<DWORD(ReaderSet&)>& change) {
  return Update<ReaderSet>(
      directory, [&] { return LoadReaderSet(directory); },
      [&](const ReaderSet& s) { return SaveReaderSet(directory, s); }, change);
}

DWORD UpdateFaultTable(const std::string& directory, const std::function<DWORD(FaultTable&)>& change) {
  return Update<FaultTable>(
      directory, [&] { return LoadFaultTable(directory); },
      [&](const FaultTable& t) { return SaveFaultTable(directory, t); }, change);
}

}  // namespace tv::keysim
