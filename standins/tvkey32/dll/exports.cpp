// The exports of tvkey32.dll. Each one takes the process's API mutex, gives
// an injected fault its chance, checks its arguments and hands the work to
// the card session frame; the last error is 0 after every success.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <span>

#include "standins/tvkey32/dll/card_session.h"
#include "standins/tvkey32/dll/reader_changes.h"
#include "standins/tvkey32/dll/reader_handles.h"
#include "standins/tvkey32/store/card_errors.h"
#include "standins/tvkey32/store/cross_process_lock.h"
#include "standins/tvkey32/store/fault_injection.h"
#include "standins/tvkey32/store/locked_update.h"
#include "standins/tvkey32/store/os_random.h"
#include "standins/tvkey32/store/simulator_directory.h"
#include "standins/tvkey32/store/simulator_files.h"
#include "standins/tvkey32/tvkey32_api.h"

using namespace tv::keysim;

namespace {

constexpr std::size_t kLabelBufferSize = 32;
constexpr DWORD kCardIdSize = 8;

using ApiGuard = std::lock_guard<std::mutex>;

BOOL Finish(DWORD error) {
  SetLastError(error);
  return error == 0;
}

// True (with the fault's last error set) when an injected fault takes this call.
bool Injected(const char* operation) {
  const auto error = TakeOperationFault(SimulatorDirectory(), operation);
  if (!error) return false;
  SetLastError(*error);
  return true;
}

// Frame of the exports that take a reader handle and return a bool.
template <class Work>
BOOL OnReader(const char* operation, int reader, Work work) {
  ApiGuard guard(ApiMutex());
  if (Injected(operation)) return FALSE;
  ReaderHandle* handle = FindReaderHandle(reader);
  if (!handle) return Finish(ERROR_INVALID_HANDLE);
  return Finish(work(*handle));
}

// A card operation that only looks at the Key.
template <class Look>
DWORD LookAtKey(ReaderHandle& handle, Access access, Look look) {
  return RunCardOperation(handle, access, [&](KeyState& key, CardSession& session) {
    look(static_cast<const KeyState&>(key), session);
    return Outcome{};
  });
}

// A card operation that changes the Key: saved when `change` returns 0.
template <class Change>
DWORD ChangeKey(ReaderHandle& handle, Change change) {
  return RunCardOperation(handle, Access::PinProtected, [&](KeyState& key, CardSession& session) {
    const DWORD error = change(key, session);
    return Outcome{error, error == 0};
  });
}

BOOL NotImplemented(const char* operation) {
  ApiGuard guard(ApiMutex());
  if (Injected(operation)) return FALSE;
  return Finish(ERROR_CALL_NOT_IMPLEMENTED);
}

std::span<std::uint8_t> Bytes(void* buffer, DWORD length) { return {static_cast<std::uint8_t*>(buffer), length}; }
std::span<const std::uint8_t> Bytes(const void* buffer, DWORD length) {
  return {static_cast<const std::uint8_t*>(buffer), length};
}

Loaded<ReaderSet> LoadReaderSetLocked(const std::string& directory) {
  CrossProcessLock lock(directory);
  if (lock.Error() != 0) return {LoadStatus::IoError, lock.Error(), {}};
  return LoadReaderSet(directory);
}

}  // namespace

extern "C" {

const char* WINAPI EnumReaders(int index) {
  ApiGuard guard(ApiMutex());
  if (Injected("EnumReaders")) return nullptr;
  const std::string directory = SimulatorDirectory();
  const Loaded<ReaderSet> set = LoadReaderSetLocked(directory);
  if (!set.Ok()) {
    SetLastError(LoadError(set.status, set.error));
    return nullptr;
  }
  NoteReaderSetSeen(directory, set.value.generation);
  if (index < 0 || static_cast<std::size_t>(index) >= set.value.readers.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return nullptr;
  }
  SetLastError(0);
  return InternText(set.value.readers[index].name);
}

int WINAPI InitReader(const char* readerName) {
  ApiGuard guard(ApiMutex());
  if (Injected("InitReader")) return -1;
  if (!readerName || strlen(readerName) >= MAX_PATH) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  ReaderHandle handle;
  handle.directory = SimulatorDirectory();
  if (IsContainerPath(readerName)) {
    handle.container = true;
    handle.readerName = readerName;
  } else {
    const Loaded<ReaderSet> set = LoadReaderSetLocked(handle.directory);
    const Reader* reader = set.Ok() ? set.value.Find(readerName) : nullptr;
    if (!reader) {
      SetLastError(set.Ok() ? kErrorUnknownReader : LoadError(set.status, set.error));
      return -1;
    }
    handle.readerName = reader->name;
  }
  handle.displayName = InternText(handle.readerName);
  SetLastError(0);
  return OpenReaderHandle(std::move(handle));
}

BOOL WINAPI CloseReader(int reader) {
  ApiGuard guard(ApiMutex());
  if (Injected("CloseReader")) return FALSE;
  return Finish(CloseReaderHandle(reader) ? 0 : ERROR_INVALID_HANDLE);
}

int WINAPI InitCard(int reader, int application) {
  ApiGuard guard(ApiMutex());
  if (Injected("InitCard")) return tvkey32::kStatusReaderError;
  ReaderHandle* handle = FindReaderHandle(reader);
  if (!handle) {
    SetLastError(ERROR_INVALID_HANDLE);
    return tvkey32::kStatusReaderError;
  }
  if (const auto forced = TakeForcedStatus(SimulatorDirectory(), handle->readerName)) {
    SetLastError(0);
    return *forced;
  }
  return InitCardOn(*handle, application);
}

BOOL WINAPI CloseCard(int reader, int flag) {
  return OnReader("CloseCard", reader, [&](ReaderHandle& h) {
    CloseCardOn(h, flag);
    return DWORD{0};
  });
}

BOOL WINAPI VerifyPIN(int reader, const char* pin) {
  return OnReader("VerifyPIN", reader, [&](ReaderHandle& h) -> DWORD {
    if (!pin) return ERROR_INVALID_PARAMETER;
    return RunCardOperation(h, Access::Open, [&](KeyState& key, CardSession& session) {
      const std::uint8_t attemptsBefore = key.attemptsLeft;
      const PinCheck check = CheckPin(key, pin);
      session.pinVerified = check == PinCheck::Right;
      switch (check) {
        case PinCheck::Right: return Outcome{0, key.attemptsLeft != attemptsBefore};
        case PinCheck::Wrong: return Outcome{kErrorWrongPin, true};
        case PinCheck::Blocked: break;
      }
      return Outcome{kErrorPinBlocked, false};
    });
  });
}

BOOL WINAPI ChangePIN(int reader, const char* oldPin, const char* newPin) {
  return OnReader("ChangePIN", reader, [&](ReaderHandle& h) -> DWORD {
    if (!oldPin || !newPin || strlen(newPin) > kMaxPinLength) return ERROR_INVALID_PARAMETER;
    return RunCardOperation(h, Access::Open, [&](KeyState& key, CardSession& session) {
      switch (CheckPin(key, oldPin)) {
        case PinCheck::Right:
          SetPin(key, newPin);
          session.pinVerified = true;
          return Outcome{0, true};
        case PinCheck::Wrong:
          session.pinVerified = false;
          return Outcome{kErrorWrongPin, true};
        case PinCheck::Blocked: break;
      }
      return Outcome{kErrorPinBlocked, false};
    });
  });
}

BOOL WINAPI UnblockPIN(int, const char*, const char*) { return NotImplemented("UnblockPIN"); }

BOOL WINAPI ReadData(int reader, DWORD offset, void* buffer, DWORD* length) {
  return OnReader("ReadData", reader, [&](ReaderHandle& h) -> DWORD {
    if (!length) return ERROR_INVALID_PARAMETER;
    if (!buffer) {
      return LookAtKey(h, Access::Open, [&](const KeyState& key, CardSession& s) { *length = AreaSize(key, s.application); });
    }
    return RunCardOperation(h, Access::PinProtected, [&](KeyState& key, CardSession& s) {
      return Outcome{ReadArea(key, s.application, offset, Bytes(buffer, *length))};
    });
  });
}

BOOL WINAPI WriteData(int reader, DWORD offset, const void* buffer, DWORD* length) {
  return OnReader("WriteData", reader, [&](ReaderHandle& h) -> DWORD {
    if (!length || (!buffer && *length > 0)) return ERROR_INVALID_PARAMETER;
    return ChangeKey(h, [&](KeyState& key, CardSession& s) {
      return WriteArea(key, s.application, offset, Bytes(buffer, *length));
    });
  });
}

BOOL WINAPI DeleteData(int reader) {
  return OnReader("DeleteData", reader, [&](ReaderHandle& h) {
    return ChangeKey(h, [&](KeyState& key, CardSession& s) {
      EraseArea(key, s.application);
      return DWORD{0};
    });
  });
}

BOOL WINAPI SetDataSize(int reader, DWORD size) {
  return OnReader("SetDataSize", reader, [&](ReaderHandle& h) {
    return ChangeKey(h, [&](KeyState& key, CardSession& s) { return ResizeArea(key, s.application, size); });
  });
}

BOOL WINAPI GetRandom(int reader, BYTE* buffer, WORD length) {
  return OnReader("GetRandom", reader, [&](ReaderHandle& h) -> DWORD {
    if (!buffer && length > 0) return ERROR_INVALID_PARAMETER;
    return RunCardOperation(h, Access::Open, [&](KeyState&, CardSession&) {
      return Outcome{FillRandom(Bytes(buffer, length)) ? DWORD{0} : DWORD{ERROR_GEN_FAILURE}};
    });
  });
}

const char* WINAPI GetReaderName(int reader) {
  ApiGuard guard(ApiMutex());
  if (Injected("GetReaderName")) return nullptr;
  const ReaderHandle* handle = FindReaderHandle(reader);
  SetLastError(handle ? 0 : ERROR_INVALID_HANDLE);
  return handle ? handle->displayName : nullptr;
}

int WINAPI GetReaderType(const char* readerName) {
  ApiGuard guard(ApiMutex());
  if (Injected("GetReaderType")) return 0;
  if (!readerName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (IsContainerPath(readerName)) {
    SetLastError(0);
    return tvkey32::kReaderContainerFile;
  }
  const Loaded<ReaderSet> set = LoadReaderSetLocked(SimulatorDirectory());
  const Reader* found = set.Ok() ? set.value.Find(readerName) : nullptr;
  SetLastError(found ? 0 : set.Ok() ? kErrorUnknownReader : LoadError(set.status, set.error));
  return found ? found->type : 0;
}

BOOL WINAPI IsDataExist(int reader) {
  bool exists = false;
  const BOOL ok = OnReader("IsDataExist", reader, [&](ReaderHandle& h) {
    return LookAtKey(h, Access::Open, [&](const KeyState& key, CardSession& s) { exists = AreaSize(key, s.application) > 0; });
  });
  return ok && exists;
}

BOOL WINAPI IsDataExisting(int, int) { return NotImplemented("IsDataExisting"); }

BOOL WINAPI GetCardID(int reader, BYTE* id, DWORD* length) {
  return OnReader("GetCardID", reader, [&](ReaderHandle& h) -> DWORD {
    if (!id || !length) return ERROR_INVALID_PARAMETER;
    if (*length < kCardIdSize) {
      *length = kCardIdSize;
      return ERROR_MORE_DATA;
    }
    return LookAtKey(h, Access::Open, [&](const KeyState& key, CardSession&) {
      std::copy(key.cardId.begin(), key.cardId.end(), id);
      *length = kCardIdSize;
    });
  });
}

int WINAPI GetCardType(int) { return NotImplemented("GetCardType"); }

BOOL WINAPI EnumApplications(int, DWORD*, DWORD*) { return NotImplemented("EnumApplications"); }

BOOL WINAPI GetApplicationInfo(int reader, int application, DWORD* value1, DWORD* value2) {
  return OnReader("GetApplicationInfo", reader, [&](ReaderHandle& h) -> DWORD {
    if (!value1 || !value2) return ERROR_INVALID_PARAMETER;
    return LookAtKey(h, Access::Open, [&](const KeyState& key, CardSession&) {
      const auto [v1, v2] = ApplicationValues(key, static_cast<std::uint32_t>(application));
      *value1 = v1;
      *value2 = v2;
    });
  });
}

// The label fills the 32-byte buffer, padded with zeros; a label of the full
// 32 characters has no room for a terminator.
BOOL WINAPI ReadLabel(int reader, char* label) {
  return OnReader("ReadLabel", reader, [&](ReaderHandle& h) -> DWORD {
    if (!label) return ERROR_INVALID_PARAMETER;
    return LookAtKey(h, Access::Open, [&](const KeyState& key, CardSession&) {
      memset(label, 0, kLabelBufferSize);
      memcpy(label, key.label.data(), std::min(key.label.size(), kLabelBufferSize));
    });
  });
}

BOOL WINAPI WriteLabel(int, const char*) { return NotImplemented("WriteLabel"); }
BOOL WINAPI ReadDataApp(int, int, DWORD, void*, DWORD*) { return NotImplemented("ReadDataApp"); }
BOOL WINAPI WriteDataApp(int, int, DWORD, const void*, DWORD*) { return NotImplemented("WriteDataApp"); }
BOOL WINAPI SetDataSizeApp(int, int, DWORD) { return NotImplemented("SetDataSizeApp"); }

BOOL WINAPI ReadBIR(int reader, DWORD offset, void* buffer, DWORD* size) {
  return OnReader("ReadBIR", reader, [&](ReaderHandle& h) -> DWORD {
    if (!size) return ERROR_INVALID_PARAMETER;
    if (!buffer) {
      return LookAtKey(h, Access::Open, [&](const KeyState& key, CardSession&) {
        *size = static_cast<DWORD>(key.bir.size());
      });
    }
    return RunCardOperation(h, Access::PinProtected, [&](KeyState& key, CardSession&) {
      return Outcome{ReadBir(key, offset, Bytes(buffer, *size))};
    });
  });
}

// With a null buffer: the free memory of the Key, which the record may use
// beside its present size.
BOOL WINAPI WriteBIR(int reader, DWORD offset, const void* buffer, DWORD* size) {
  return OnReader("WriteBIR", reader, [&](ReaderHandle& h) -> DWORD {
    if (!size) return ERROR_INVALID_PARAMETER;
    if (!buffer) {
      return LookAtKey(h, Access::Open, [&](const KeyState& key, CardSession&) { *size = FreeMemory(key); });
    }
    return ChangeKey(h, [&](KeyState& key, CardSession&) { return WriteBir(key, offset, Bytes(buffer, *size)); });
  });
}

BOOL WINAPI SetBIRSize(int reader, DWORD size) {
  return OnReader("SetBIRSize", reader, [&](ReaderHandle& h) {
    return ChangeKey(h, [&](KeyState& key, CardSession&) { return ResizeBir(key, size); });
  });
}

BOOL WINAPI DeleteBIR(int reader) {
  return OnReader("DeleteBIR", reader, [&](ReaderHandle& h) {
    return ChangeKey(h, [&](KeyState& key, CardSession&) {
      EraseBir(key);
      return DWORD{0};
    });
  });
}

BOOL WINAPI AnyReadersChanges(int) {
  ApiGuard guard(ApiMutex());
  if (Injected("AnyReadersChanges")) return FALSE;
  const std::string directory = SimulatorDirectory();
  const Loaded<ReaderSet> set = LoadReaderSetLocked(directory);
  if (!set.Ok()) return Finish(LoadError(set.status, set.error));
  const bool changed = TakeReaderSetChange(directory, set.value.generation);
  SetLastError(0);
  return changed;
}

BOOL WINAPI ExternalAuth(int, const BYTE*, DWORD) { return NotImplemented("ExternalAuth"); }
BOOL WINAPI ChangeIssuerKey(int, const BYTE*, DWORD) { return NotImplemented("ChangeIssuerKey"); }
BOOL WINAPI FormatCard(int, const char*, const char*) { return NotImplemented("FormatCard"); }
BOOL WINAPI UnformatCard(int) { return NotImplemented("UnformatCard"); }

// Test exports.

BOOL WINAPI KeySimSetFault(const char* operation, DWORD count, DWORD error) {
  if (!operation) return Finish(ERROR_INVALID_PARAMETER);
  return Finish(SetOperationFault(SimulatorDirectory(), operation, count, error));
}

BOOL WINAPI KeySimForceStatus(const char* readerName, int status, DWORD count) {
  if (!readerName) return Finish(ERROR_INVALID_PARAMETER);
  return Finish(SetForcedStatus(SimulatorDirectory(), readerName, status, count));
}

BOOL WINAPI KeySimClearFaults() { return Finish(ClearFaults(SimulatorDirectory())); }

}  // extern "C"
