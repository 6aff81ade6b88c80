// The Key backend ("C"): a container's key pair kept in the data area of a
// Key (or of a container file the token layer presents as one). One Key
// holds one container and one pair, so slots 1 and 2 are the same block;
// the block's ContainerTag tells whether the Key in the reader holds the
// named container. Every access goes through the process's Key session,
// which finds the Key and asks for its PIN; the PIN is what protects the
// data, the provider adds no encryption here.
#include "csp/storage/key_backend.h"

#include <atomic>
#include <cstring>
#include <new>
#include <optional>
#include <utility>

#include "common/language.h"
#include "common/trace_log.h"
#include "common/wait_cursor.h"
#include "csp/crypto/cpu/wipe.h"
#include "csp/storage/container_registry.h"
#include "csp/storage/container_tag.h"
#include "csp/storage/registry_values.h"
#include "csp/storage/storage.h"
#include "csp/storage/storage_record.h"
#include "csp/storage/token_key_block.h"
#include "resources/string_ids.h"
#include "token/bounded_text.h"

namespace tv::csp {
namespace {

constexpr std::size_t kPresetPinSize = 64;
constexpr int kReleaseKeepingKey = 1;  // ReleaseCard: let go, the Key stays known
constexpr int kReleaseEnd = 0;         // ReleaseCard: end the card session

enum class OpenMode : DWORD { Opened = 0, Created = 1, ForDelete = 2 };

struct KeyRecord : StorageRecord {
  int cardHandle = -1;
  HMODULE moduleInstance = nullptr;
  RegistryKey containerKey;  // the container's registry key, when it has one
  std::uint8_t tag[kContainerTagSize] = {};
  bool bound = false;
  char containerName[kContainerNameBufferSize] = {};
  OpenMode openMode = OpenMode::Opened;
  DWORD silent = 0;
  char presetPin[kPresetPinSize] = {};

  ~KeyRecord() { crypto::SecureWipe(presetPin, sizeof presetPin); }
  ContainerTagBytes Tag() const { return ContainerTagBytes(tag, kContainerTagSize); }
};

KeyRecord& Record(StorageRecord* storage) { return *static_cast<KeyRecord*>(storage); }

// Key storages opened so far in the process; the session is initialised
// with the first and never given up.
std::atomic<long> TokenStoreCount{0};
std::atomic<bool> DiskRedirection{false};

const tv::token::TokenLibrary& Library() { return ProviderKeySession().Library(); }

// How one operation asks the session for the Key.
struct KeyAccess {
  UINT caption;
  int flags;
  DWORD fileMode;
};

constexpr KeyAccess kOpenAccess{IDS_OPEN_KEY_CAPTION, token::kRememberCancel, token::kOpenContainerFile};
constexpr KeyAccess kOpenForDeleteAccess{IDS_DELETE_KEY_CAPTION, token::kIgnoreSessionBlock | token::kKeepSessionBlock,
                                         token::kOpenContainerFile2};
constexpr KeyAccess kCreateAccess{IDS_CREATE_KEY_CAPTION, token::kOpenForWriting | token::kIgnoreSessionBlock,
                                  token::kCreateContainerFile};
constexpr KeyAccess kReadAccess{IDS_OPEN_KEY_CAPTION, 0, token::kOpenContainerFile};
constexpr KeyAccess kReadForDeleteAccess{IDS_DELETE_KEY_CAPTION, 0, token::kOpenContainerFile2};
constexpr KeyAccess kWriteAccess{IDS_CREATE_KEY_CAPTION, token::kOpenForWriting, token::kOpenContainerFile};
constexpr KeyAccess kRandomAccess{IDS_OPEN_KEY_CAPTION, token::kRememberCancel, token::kOpenContainerFile};

const KeyAccess& ReadAccessOf(const KeyRecord& record) {
  return record.openMode == OpenMode::ForDelete ? kReadForDeleteAccess : kReadAccess;
}

// Opens the Key for the container `name` and keeps its handle: the handle,
// or -1 with the session's error.
int OpenKey(KeyRecord& record, const KeyAccess& access, const char* name) {
  char caption[64];
  LoadStringText(access.caption, caption, sizeof caption);
  char prompt[128];
  LoadStringText(IDS_CONTAINER_NAME_PROMPT, prompt, sizeof prompt);
  const DWORD mode = access.fileMode | (record.silent ? token::kSilentMode : 0);
  record.cardHandle = ProviderKeySession().OpenCard(record.moduleInstance, GetActiveWindow(), caption, access.flags,
                                                    name, mode, record.presetPin[0] ? record.presetPin : nullptr,
                                                    prompt);
  return record.cardHandle;
}

void ReleaseKey(const KeyRecord& record, int flag) {
  if (record.cardHandle != -1) ProviderKeySession().ReleaseCard(record.cardHandle, flag);
}

// Opens root\base<name> and keeps it when it carries a Key container's
// mark ("ESmart" or "SSmart"); a Key container needs no registry key.
void KeepMarkedRegistryKey(KeyRecord& record, const char* name) {
  ContainerPath path;
  RegistryKey key;
  if (!path.Build(record.location, name) || !key.Open(record.location.root, path.Text())) return;
  for (const char* mark : {"ESmart", "SSmart"}) {
    DWORD size = 0;
    bool present = false;
    if (QueryValueSize(key.Get(), mark, size, present) && present) {
      record.containerKey = std::move(key);
      return;
    }
  }
}

void BindContainer(KeyRecord& record, const char* name, OpenMode mode) {
  std::strcpy(record.containerName, name);
  record.openMode = mode;
  record.bound = true;
}

bool NameFits(const char* name) { return name && strlen(name) < kContainerNameBufferSize; }

bool COpenKeyStorage(StorageRecord** storage, HMODULE instance, DWORD machine, DWORD silent) {
  WriteLog(LogTrace, "", "COpenKeyStorage. 1. %08X. %08X. %08X. %08X.", TraceValue(storage), TraceValue(instance),
           static_cast<unsigned>(machine), static_cast<unsigned>(silent));
  if (!storage) return FailWith(ERROR_INVALID_PARAMETER);
  *storage = nullptr;
  auto* record = new (std::nothrow) KeyRecord();
  if (!record) {
    WriteLog(LogError, "", "COpenKeyStorage. 2. %08X. %08X.", static_cast<unsigned>(NTE_NO_MEMORY),
             static_cast<unsigned>(sizeof(KeyRecord)));
    return FailWith(static_cast<DWORD>(NTE_NO_MEMORY));
  }
  token::CSmartKey_GUI_Ex& session = ProviderKeySession();
  if (TokenStoreCount.load() == 0) {
    if (!session.Initialize(kProviderApplication)) {
      const DWORD error = GetLastError();
      WriteLog(LogError, "", "COpenKeyStorage. 3. %08X.", static_cast<unsigned>(error));
      delete record;
      return FailWith(error);
    }
    WriteLog(LogTrace, "", "COpenKeyStorage. 4.");
    if (!session.ReaderNameAt(0))
      WriteLog(LogError, "", "COpenKeyStorage. 5. %08X.", static_cast<unsigned>(GetLastError()));
  }
  session.SetDiskRedirection(DiskRedirection.load());
  const long count = ++TokenStoreCount;
  record->moduleInstance = instance;
  record->location = LocationFor(machine);
  record->silent = silent;
  WriteLog(LogTrace, "", "COpenKeyStorage. 6. %08X. %s.", static_cast<unsigned>(count), record->location.basePath);
  *storage = record;
  return true;
}

// The count never falls back to 0: the session stays initialised.
bool CCloseStorage(StorageRecord* storage) {
  WriteLog(LogTrace, "", "CCloseStorage. 1. %08X.", TraceValue(storage));
  if (!storage) return FailWith(ERROR_INVALID_PARAMETER);
  long count = TokenStoreCount.load();
  do {
    if (count < 1) return false;
  } while (!TokenStoreCount.compare_exchange_weak(count, count > 1 ? count - 1 : 1));
  delete &Record(storage);
  return true;
}

// Any Key opens here; whether it holds this container is seen at the first
// read, by its tag.
bool COpenKeyContainer(StorageRecord* storage, const char* name, bool forDelete) {
  KeyRecord& record = Record(storage);
  WriteLog(LogTrace, "", "COpenKeyContainer. 1. %08X. %s. %08X.", TraceValue(storage), name ? name : "",
           static_cast<unsigned>(forDelete));
  if (!NameFits(name)) return FailWith(ERROR_INVALID_PARAMETER);
  if (!ContainerTag(name, record.tag)) return false;
  KeepMarkedRegistryKey(record, name);
  if (OpenKey(record, forDelete ? kOpenForDeleteAccess : kOpenAccess, name) == -1) {
    const DWORD error = GetLastError();
    WriteLog(LogError, "", "COpenKeyContainer. 2. %08X. %08X.", static_cast<unsigned>(error),
             TraceValue(record.moduleInstance));
    record.containerKey.Close();
    return FailWith(error);
  }
  BindContainer(record, name, forDelete ? OpenMode::ForDelete : OpenMode::Opened);
  return true;
}

// A new container starts from a Key chosen afresh: the remembered Key and
// PIN are forgotten, and a Key holding data is emptied after a question.
bool CCreateKeyContainer(StorageRecord* storage, const char* name, const std::uint8_t*) {
  KeyRecord& record = Record(storage);
  WriteLog(LogTrace, "", "CCreateKeyContainer. 1. %08X. %08X. %s.", TraceValue(storage),
           TraceValue(record.moduleInstance), name ? name : "");
  if (!NameFits(name)) return FailWith(ERROR_INVALID_PARAMETER);
  if (!ContainerTag(name, record.tag)) return false;
  record.containerKey.Close();
  ProviderKeySession().ClearSessionBlock();
  if (OpenKey(record, kCreateAccess, name) == -1) {
    WriteLog(LogError, "", "CCreateKeyContainer. 2. %08X.", static_cast<unsigned>(GetLastError()));
    return false;
  }
  BindContainer(record, name, OpenMode::Created);
  WriteLog(LogError, "", "CCreateKeyContainer. 4. OK.");
  return true;
}

bool CCloseKeyContainer(StorageRecord* storage, const std::uint8_t*) {
  KeyRecord& record = Record(storage);
  WriteLog(LogTrace, "", "CCloseKeyContainer. 1. %08X. %08X.", TraceValue(storage),
           static_cast<unsigned>(record.cardHandle));
  if (TokenStoreCount.load() != 0) ReleaseKey(record, kReleaseEnd);
  record.cardHandle = -1;
  const bool closed = record.containerKey.Close();
  record.containerName[0] = '\0';
  record.bound = false;
  return closed;
}

// Removes the container's registry key, if it has one, and the block on the
// Key when the Key holds this container; a Key holding another container is
// left as it is.
bool CDeleteKeyContainer(StorageRecord* storage) {
  KeyRecord& record = Record(storage);
  if (!record.bound) return FailWith(ERROR_INVALID_HANDLE);
  const tv::WaitCursor wait;
  ContainerPath path;
  bool deleted = path.Build(record.location, record.containerName);
  if (deleted && record.containerKey) {
    deleted = record.containerKey.Close();
    const LONG result = deleted ? RegDeleteKeyA(record.location.root, path.Text()) : ERROR_SUCCESS;
    if (result != ERROR_SUCCESS) deleted = FailWith(result);
  }
  if (deleted) {
    std::uint8_t header[kTokenKeyBlockHeaderSize];
    DWORD count = sizeof header;
    const bool ours = Library().ReadData(record.cardHandle, 0, header, &count) && count == sizeof header &&
                      TokenKeyBlockHasTag(header, record.Tag());
    if (ours && !Library().DeleteData(record.cardHandle)) deleted = false;
  }
  const DWORD error = GetLastError();
  ReleaseKey(record, kReleaseKeepingKey);
  if (deleted) {
    record.containerName[0] = '\0';
    record.bound = false;
    return true;
  }
  return FailWith(error);
}

// What one look at the Key found.
enum class Found { Pair, Failure, WrongKey };

struct ReadCall {
  KeyRecord& record;
  std::uint8_t* buffer;  // null for a size query
  DWORD* length;
  DWORD failure = 0;  // the error of Found::Failure; 0 reads as "no pair"
};

Found Fail(ReadCall& call, DWORD error) {
  call.failure = error;
  return Found::Failure;
}

// The record of the block on the Key, into the caller's buffer. The block
// is checked against the area's used size before a byte of it is used.
Found ReadPair(ReadCall& call) {
  const int card = call.record.cardHandle;
  std::uint8_t header[kTokenKeyBlockHeaderSize] = {};
  DWORD count = sizeof header;
  const bool headerRead = Library().ReadData(card, 0, header, &count) && count == sizeof header;
  if (!headerRead || !TokenKeyBlockHasTag(header, call.record.Tag())) {
    const DWORD error = GetLastError();
    const std::uint8_t* tag = call.record.tag;
    WriteLog(LogError, "",
             "CReadKeyContainer. 3. %08X. %08X. %08X. %08X. %02X%02X%02X%02X%02X. %02X%02X%02X%02X%02X.",
             static_cast<unsigned>(error), static_cast<unsigned>(card), static_cast<unsigned>(count),
             static_cast<unsigned>(*call.length), header[0], header[1], header[2], header[3], header[4], tag[0], tag[1],
             tag[2], tag[3], tag[4]);
    return error ? Fail(call, 0) : Found::WrongKey;
  }
  DWORD used = 0;
  if (!Library().ReadData(card, 0, nullptr, &used)) return Fail(call, 0);
  DWORD recordLength = 0;
  if (!TokenKeyBlockRecordLength(header, used, recordLength)) return Fail(call, GetLastError());
  if (recordLength > *call.length) return Fail(call, ERROR_MORE_DATA);
  count = recordLength;
  if (!Library().ReadData(card, kTokenKeyBlockHeaderSize, call.buffer, &count) || count != recordLength)
    return Fail(call, 0);
  *call.length = recordLength;
  return Found::Pair;
}

// The size of the block on the Key: the used size of its data area.
Found QueryPairSize(ReadCall& call) {
  DWORD used = 0;
  if (Library().ReadData(call.record.cardHandle, 0, nullptr, &used) && used != 0) {
    *call.length = used;
    return Found::Pair;
  }
  const DWORD error = GetLastError();
  WriteLog(LogError, "", "CReadKeyContainer. 4. %08X. %08X.", static_cast<unsigned>(error),
           static_cast<unsigned>(used));
  *call.length = used;
  if (call.record.openMode == OpenMode::Created || error != 0) return Fail(call, 0);
  return Found::WrongKey;
}

// The Key in the reader does not hold the container: the holder may put
// in another one. True to look again.
bool AskForAnotherKey(ReadCall& call, const char* caption) {
  if (call.record.silent) {
    call.failure = static_cast<DWORD>(*call.length == 0 ? NTE_BAD_KEYSET : NTE_SILENT_CONTEXT);
    return false;
  }
  char text[kTextBufferSize];
  LoadStringText(IDS_WRONG_KEY, text, sizeof text);
  if (MessageBoxA(GetActiveWindow(), text, caption, MB_OKCANCEL | MB_ICONQUESTION) == IDOK) return true;
  call.failure = ERROR_CANCELLED;
  return false;
}

// A failed read leaves nothing of the block in the caller's buffer and
// forgets the Key and PIN that led to it.
bool FailRead(ReadCall& call, DWORD callerLength, RecordSlot slot) {
  KeyRecord& record = call.record;
  const bool opened = record.openMode == OpenMode::Opened;
  if (call.buffer) crypto::SecureWipe(call.buffer, callerLength);
  if (call.buffer ? opened : slot == RecordSlot::SignaturePrivate && opened) {
    ProviderKeySession().ClearSessionBlock();
    ReleaseKey(record, kReleaseKeepingKey);
  }
  return FailWith(call.failure);
}

bool CReadKeyContainer(StorageRecord* storage, RecordSlot slot, std::uint8_t* exportable, std::uint8_t* buffer,
                       DWORD* length) {
  KeyRecord& record = Record(storage);
  const KeyAccess& access = ReadAccessOf(record);
  char caption[64];
  LoadStringText(access.caption, caption, sizeof caption);
  WriteLog(LogTrace, "", "CReadKeyContainer. 1. %08X. %08X. %08X. %08X. %08X. %s.", TraceValue(storage),
           static_cast<unsigned>(slot), TraceValue(exportable), TraceValue(buffer), TraceValue(length), caption);
  if (!length || (buffer && !exportable)) return FailWith(ERROR_INVALID_PARAMETER);
  if (slot != RecordSlot::ExchangePrivate && slot != RecordSlot::SignaturePrivate) {
    *length = 0;
    return FailWith(ERROR_INVALID_PARAMETER);
  }
  if (!record.bound) return FailWith(ERROR_INVALID_HANDLE);
  const tv::WaitCursor wait;
  const DWORD callerLength = *length;
  ReadCall call{record, buffer, length};
  for (;;) {
    if (OpenKey(record, access, record.containerName) == -1) {
      WriteLog(LogError, "", "CReadKeyContainer. 2. %08X.", static_cast<unsigned>(GetLastError()));
      return false;
    }
    const Found found = buffer ? ReadPair(call) : QueryPairSize(call);
    if (found == Found::Pair) break;
    if (found == Found::Failure || !AskForAnotherKey(call, caption)) return FailRead(call, callerLength, slot);
  }
  if (buffer) {
    *exportable = 1;
    if (slot == RecordSlot::SignaturePrivate) ReleaseKey(record, kReleaseKeepingKey);
    WriteLog(LogTrace, "", "CReadKeyContainer. 5. %08X.", static_cast<unsigned>(*length));
  }
  SetLastError(0);
  return true;
}

// The public slots are not kept: a private record holds the public key.
// The block replaces whatever the Key held; a write that fails part-way
// leaves the data area empty rather than holding a partial block.
bool CWriteKeyContainer(StorageRecord* storage, RecordSlot slot, std::uint8_t, std::uint8_t* data, DWORD length,
                        DWORD) {
  KeyRecord& record = Record(storage);
  if (slot == RecordSlot::ExchangePublic || slot == RecordSlot::SignaturePublic) return true;
  if (!record.bound) return FailWith(ERROR_INVALID_HANDLE);
  if (!data && length != 0) return FailWith(ERROR_INVALID_PARAMETER);
  crypto::WipingBuffer block;
  if (!BuildTokenKeyBlock(record.Tag(), {data, length}, block)) return false;
  const tv::WaitCursor wait;
  if (OpenKey(record, kWriteAccess, record.containerName) == -1) return false;
  const DWORD size = static_cast<DWORD>(block.Size());
  DWORD written = size;
  const bool stored = Library().WriteData(record.cardHandle, 0, block.Data(), &written) && written == size &&
                      Library().SetDataSize(record.cardHandle, size);
  const DWORD error = stored ? 0 : (GetLastError() ? GetLastError() : static_cast<DWORD>(ERROR_WRITE_FAULT));
  if (!stored) Library().DeleteData(record.cardHandle);
  ReleaseKey(record, kReleaseKeepingKey);
  return stored || FailWith(error);
}

bool CSetKeySecurity(StorageRecord*, PSECURITY_DESCRIPTOR, SECURITY_INFORMATION) { return true; }

// The Key stays open after this: the caller may ask again at once.
bool CGenRandomOnKey(StorageRecord* storage, std::uint8_t* buffer, std::int16_t length) {
  KeyRecord& record = Record(storage);
  if (length < 0 || (!buffer && length != 0)) return FailWith(ERROR_INVALID_PARAMETER);
  if (OpenKey(record, kRandomAccess, record.containerName) == -1) return false;
  return Library().GetRandom(record.cardHandle, buffer, static_cast<WORD>(length)) != FALSE;
}

// A shorter PIN must not leave the end of the longer one behind it.
bool CSetContainerPin(StorageRecord* storage, const char* pin) {
  KeyRecord& record = Record(storage);
  crypto::SecureWipe(record.presetPin, sizeof record.presetPin);
  token::CopyBounded(record.presetPin, pin);
  return true;
}

// A Key let go after its pair was read answers "session absent" while it
// stays in its reader; any other status means it was taken out (or never
// held), and the cached pairs are read again.
bool CIsKeyPresent(StorageRecord* storage) {
  return Library().InitCard(Record(storage).cardHandle, kProviderApplication) == tvkey32::kStatusSessionAbsent;
}

constinit const StorageOperations kKeyStorage = {
    'C',
    COpenKeyStorage,
    CCloseStorage,
    EnumKeyContainers<'C'>,
    COpenKeyContainer,
    CCreateKeyContainer,
    ContainerExists,
    CCloseKeyContainer,
    CDeleteKeyContainer,
    CReadKeyContainer,
    CWriteKeyContainer,
    CSetKeySecurity,
    CGenRandomOnKey,
    CSetContainerPin,
    CIsKeyPresent,
};

}  // namespace

// The session goes when the module is unloaded, which a client's failed
// CryptAcquireContext does at once: its error must outlive the unload.
token::CSmartKey_GUI_Ex& ProviderKeySession() {
  struct Holder {
    std::optional<token::CSmartKey_GUI_Ex> session{std::in_place, "csp"};
    ~Holder() {
      const DWORD error = GetLastError();
      session.reset();
      SetLastError(error);
    }
  };
  static Holder holder;
  return *holder.session;
}

void SetKeyDiskRedirection(bool on) { DiskRedirection.store(on); }

const StorageOperations& KeyStorage() { return kKeyStorage; }

}  // namespace tv::csp
