#include "csp/front/context_acquisition.h"

#include <cctype>
#include <cstring>
#include <memory>
#include <new>

#include "common/common_controls.h"
#include "common/language.h"
#include "common/trace_log.h"
#include "csp/front/handles.h"
#include "csp/front/process_state.h"
#include "csp/front/random/random_generator.h"
#include "resources/string_ids.h"

namespace tv::csp {
namespace {

constexpr DWORD kMachineAndSilent = CRYPT_MACHINE_KEYSET | CRYPT_SILENT;
constexpr std::size_t kKeyRandomBytes = 72;

enum class Answer { Key, Software, Cancel };

struct ContextDeleter {
  void operator()(ProvContext* context) const { delete context; }
};
using ContextPtr = std::unique_ptr<ProvContext, ContextDeleter>;

bool Failed(DWORD error) {
  SetLastError(error);
  return false;
}

bool OpenStorage(ProvContext& context, const StorageOperations& backend, DWORD machine) {
  StorageRecord* storage = nullptr;
  if (!backend.OpenKeyStorage(&storage, ModuleInstance, machine, context.silent)) return false;
  context.storage = storage;
  context.operations = &backend;
  return true;
}

void CloseStorage(ProvContext& context) {
  if (!context.storage) return;
  context.operations->CloseStorage(context.storage);
  context.storage = nullptr;
}

// Mixes 72 bytes of the Key's generator into the software generator.
void ReseedFromKey(ProvContext& context) {
  if (!context.operations || !context.operations->GenRandomOnKey) return;
  std::uint8_t bytes[kKeyRandomBytes];
  if (context.operations->GenRandomOnKey(context.storage, bytes, sizeof bytes)) ReseedGenerator(bytes);
  crypto::SecureWipe(bytes, sizeof bytes);
}

bool NameContainer(ProvContext& context, const char* container) {
  if (container) {
    context.containerName = container;
    return true;
  }
  DWORD length = 0;
  GetUserNameA(nullptr, &length);
  std::string name(length, '\0');
  if (length == 0 || !GetUserNameA(name.data(), &length)) {
    WriteLog(LogError, "", "CPAcquireContext. 4. %08X. %08X.", static_cast<unsigned>(GetLastError()),
             static_cast<unsigned>(length));
    return Failed(NTE_NO_MEMORY);
  }
  name.resize(strnlen(name.c_str(), name.size()));
  context.containerName = name;
  return true;
}

// The storage question: Yes keeps the new container on the Key, No in
// software storage.
Answer AskWhereToStore() {
  char caption[256];
  LoadStringText(IDS_CREATE_KEY_CAPTION, caption, sizeof caption);
  char question[kTextBufferSize];
  LoadStringText(IDS_STORE_ON_KEY_QUESTION, question, sizeof question);
  InitCommonControlsOnce();
  switch (MessageBoxA(GetActiveWindow(), question, caption, MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDYES: return Answer::Key;
    case IDNO: return Answer::Software;
    default: return Answer::Cancel;
  }
}

// Opens the storage a new container goes to: the Key when chosen (software
// storage when the Key backend cannot be opened), else Protected Storage,
// else the registry.
bool OpenNewStorage(ProvContext& context, DWORD machine, bool ask) {
  Answer answer = Answer::Key;
  if (ask) answer = AskWhereToStore();
  if (answer == Answer::Cancel) return Failed(ERROR_CANCELLED);
  if (answer == Answer::Key && OpenStorage(context, KeyStorage(), machine)) return true;
  if (OpenStorage(context, ProtectedStorage(), machine) || OpenStorage(context, RegistryStorage(), machine))
    return true;
  WriteLog(LogError, "", "CPAcquireContext. 7. %08X. %s.", static_cast<unsigned>(GetLastError()),
           context.containerName.c_str());
  return Failed(NTE_BAD_KEYSET);
}

// Finds the backend that holds the container: registry, Protected Storage,
// then the Key (a path name goes to the Key alone).
bool OpenExisting(ProvContext& context, DWORD machine, bool forDelete) {
  const bool onKeyOnly = IsPathName(context.containerName.c_str());
  const StorageOperations* backends[] = {&RegistryStorage(), &ProtectedStorage(), &KeyStorage()};
  for (const StorageOperations* backend : backends) {
    if (onKeyOnly && backend->letter != 'C') continue;
    if (!OpenStorage(context, *backend, machine)) continue;
    if (backend->OpenKeyContainer(context.storage, context.containerName.c_str(), forDelete)) {
      // A container about to be deleted needs no fresh randomness, and
      // asking the Key for it would ask for its PIN a second time.
      if (backend->letter == 'C' && !forDelete) ReseedFromKey(context);
      return true;
    }
    const DWORD error = GetLastError();
    CloseStorage(context);
    SetLastError(error);
  }
  const DWORD error = GetLastError();
  WriteLog(LogError, "", "CPAcquireContext. 8. %08X. %s.", static_cast<unsigned>(error),
           context.containerName.c_str());
  return Failed(error == ERROR_CANCELLED || error == static_cast<DWORD>(NTE_SILENT_CONTEXT)
                    ? error
                    : static_cast<DWORD>(NTE_BAD_KEYSET));
}

bool LoadUnderLock(ProvContext& context) {
  EnterCriticalSection(&ContainerLock);
  const bool loaded = GetContainer(context);
  const DWORD error = GetLastError();
  LeaveCriticalSection(&ContainerLock);
  SetLastError(error);
  return loaded;
}

void Discard(ProvContext& context, bool counted) {
  DropKeyPairs(context);
  CloseStorage(context);
  if (counted) UncountContext();
}

// Creates the new container in the chosen storage, asking again where it
// goes when the Key was chosen by configuration and the user cancelled there.
bool CreateContainer(ProvContext& context, DWORD machine) {
  const bool toKeyUnasked = IsPathName(context.containerName.c_str()) || StorageMode == 1;
  bool ask = !toKeyUnasked;
  for (;;) {
    if (!OpenNewStorage(context, machine, ask)) return false;
    const char* name = context.containerName.c_str();
    if (context.operations->ContainerExists(context.storage, name)) {
      WriteLog(LogError, "", "CPAcquireContext. 9. %08X. %s.", static_cast<unsigned>(NTE_EXISTS), name);
      CloseStorage(context);
      WriteLog(LogTrace, "", "CPAcquireContext. 16. %08X.", static_cast<unsigned>(NTE_EXISTS));
      return Failed(NTE_EXISTS);
    }
    std::uint8_t protection[5];
    GenRandomBytes(protection);
    const bool created = context.operations->CreateKeyContainer(context.storage, name, protection);
    crypto::SecureWipe(protection, sizeof protection);
    if (created) {
      ReseedFromKey(context);
      return LoadUnderLock(context);
    }
    const DWORD error = GetLastError();
    WriteLog(LogError, "", "CPAcquireContext. 10. %08X. %s.", static_cast<unsigned>(error), name);
    CloseStorage(context);
    if (StorageMode == 1 && error == ERROR_CANCELLED && !ask) {
      ask = true;
      continue;
    }
    if (error == 0 || error == ERROR_CANCELLED) return Failed(ERROR_CANCELLED);
    return Failed(error == static_cast<DWORD>(NTE_EXISTS) ? error : static_cast<DWORD>(NTE_BAD_KEYSET));
  }
}

bool OpenForUse(ProvContext& context) {
  if (LoadUnderLock(context)) return true;
  const DWORD error = GetLastError();
  // A silent context keeps going without its pairs unless the container is
  // gone; they are loaded on first use.
  if (context.silent && error != static_cast<DWORD>(NTE_BAD_KEYSET)) return true;
  WriteLog(LogError, "", "CPAcquireContext. 11. %08X. %s.", static_cast<unsigned>(error),
           context.containerName.c_str());
  context.operations->CloseKeyContainer(context.storage, nullptr);
  return Failed(error ? error : static_cast<DWORD>(NTE_KEYSET_ENTRY_BAD));
}

bool DeleteContainer(ProvContext& context) {
  const bool deleted = context.operations->DeleteKeyContainer(context.storage);
  context.operations->CloseKeyContainer(context.storage, nullptr);
  CloseStorage(context);
  if (deleted) return true;
  WriteLog(LogError, "", "CPAcquireContext. 12. %08X.", static_cast<unsigned>(GetLastError()));
  return Failed(NTE_BAD_KEYSET);
}

void OpenAnyStorage(ProvContext& context, DWORD machine) {
  const StorageOperations* backends[] = {&RegistryStorage(), &ProtectedStorage(), &KeyStorage()};
  for (const StorageOperations* backend : backends)
    if (OpenStorage(context, *backend, machine)) return;
}

}  // namespace

bool AcceptedAcquireFlags(DWORD flags, const char* container) {
  const DWORD base = flags & ~kMachineAndSilent;
  if (base == CRYPT_VERIFYCONTEXT) return container == nullptr;
  return base == 0 || base == CRYPT_NEWKEYSET || base == CRYPT_DELETEKEYSET;
}

bool IsPathName(const char* name) {
  const std::size_t length = strlen(name);
  if (length < 3) return false;
  const bool driveRoot = isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':' && name[2] == '\\';
  return (driveRoot && length > 3) || (name[0] == '\\' && name[1] == '\\');
}

bool AcquireContext(const char* container, DWORD flags, ProvContext*& result) {
  result = nullptr;
  const DWORD base = flags & ~kMachineAndSilent;
  const DWORD machine = flags & CRYPT_MACHINE_KEYSET;
  if ((flags & CRYPT_SILENT) && (base == CRYPT_NEWKEYSET || base == CRYPT_DELETEKEYSET))
    return Failed(NTE_SILENT_CONTEXT);

  ContextPtr context(new (std::nothrow) ProvContext);
  if (!context) {
    WriteLog(LogError, "", "CPAcquireContext. 2. %08X. %08X.", static_cast<unsigned>(NTE_NO_MEMORY), 0u);
    return Failed(NTE_NO_MEMORY);
  }
  context->silent = (flags & CRYPT_SILENT) ? 1 : 0;
  context->machineKeyset = machine != 0;

  if (base == CRYPT_VERIFYCONTEXT) {
    context->verifyOnly = true;
    OpenAnyStorage(*context, machine);
  } else {
    if (!NameContainer(*context, container)) return false;
    if (base == 0 || base == CRYPT_DELETEKEYSET) {
      if (!OpenExisting(*context, machine, base == CRYPT_DELETEKEYSET)) return false;
      if (base == CRYPT_DELETEKEYSET) return DeleteContainer(*context);
    }
  }

  context->tag = CountContext();
  const bool ready = base == CRYPT_VERIFYCONTEXT ? true
                     : base == CRYPT_NEWKEYSET   ? CreateContainer(*context, machine)
                                                 : OpenForUse(*context);
  if (!ready) {
    const DWORD error = GetLastError();
    Discard(*context, true);
    return Failed(error);
  }
  RegisterHandle(HandleKind::Provider, context.get());
  result = context.release();
  return true;
}

bool ReleaseContext(ProvContext* context) {
  DropKeyPairs(*context);
  context->containerName.clear();
  if (context->storage) {
    std::uint8_t seed[20];
    GenRandomBytes(seed);
    std::uint32_t first;
    memcpy(&first, seed, sizeof first);
    WriteLog(LogTrace, "", "CPReleaseContext. 5. %08X.", static_cast<unsigned>(first));
    context->operations->CloseKeyContainer(context->storage, seed);
    crypto::SecureWipe(seed, sizeof seed);
    CloseStorage(*context);
  }
  UnregisterHandle(HandleKind::Provider, context);
  context->tag = 0;
  delete context;
  UncountContext();
  return true;
}

bool ContextRandom(ProvContext& context, BYTE* buffer, std::size_t length) {
  if (context.operations && context.operations->GenRandomOnKey) {
    // The Key's generator takes 16-bit counts.
    for (std::size_t done = 0; done < length;) {
      const std::size_t chunk = length - done < 0x7FFF ? length - done : 0x7FFF;
      if (!context.operations->GenRandomOnKey(context.storage, buffer + done, static_cast<std::int16_t>(chunk)))
        return false;
      done += chunk;
    }
    return true;
  }
  return GenRandomBytes(std::span<std::uint8_t>(buffer, length));
}

bool EnsureKeyPairsLoaded(ProvContext& context) {
  if (!context.HasContainer()) return true;
  if (!context.operations->IsKeyPresent(context.storage)) DropKeyPairs(context);
  if (context.exchangeKey || context.signatureKey) return true;
  return LoadUnderLock(context);
}

}  // namespace tv::csp
