// The Key backend ("C") and the Protected Storage backend ("P") are not
// built yet. Their storage never opens, as when the token layer or
// pstorec.dll is unavailable, so that the provider context falls back to
// the registry backend; no other entry of their tables can be reached.
#include "common/trace_log.h"
#include "csp/storage/registry_values.h"
#include "csp/storage/storage.h"
#include "csp/storage/storage_record.h"

namespace tv::csp {
namespace {

bool Unavailable(StorageRecord** storage) {
  if (storage) *storage = nullptr;
  return FailWith(ERROR_CALL_NOT_IMPLEMENTED);
}

bool COpenKeyStorage(StorageRecord** storage, HMODULE instance, DWORD machine, DWORD silent) {
  WriteLog(LogTrace, "", "COpenKeyStorage. 1. %08X. %08X. %08X. %08X.", TraceValue(storage), TraceValue(instance),
           static_cast<unsigned>(machine), static_cast<unsigned>(silent));
  return Unavailable(storage);
}

bool POpenKeyStorage(StorageRecord** storage, HMODULE instance, DWORD machine, DWORD) {
  WriteLog(LogTrace, "", "POpenKeyStorage. 1. %08X. %08X. %08X.", TraceValue(storage), TraceValue(instance),
           static_cast<unsigned>(machine));
  return Unavailable(storage);
}

// A table whose only entry is an open that fails.
constexpr StorageOperations OpenOnly(char letter, decltype(StorageOperations::OpenKeyStorage) open) {
  StorageOperations table{};
  table.letter = letter;
  table.OpenKeyStorage = open;
  return table;
}

constinit const StorageOperations kKeyStorage = OpenOnly('C', COpenKeyStorage);
constinit const StorageOperations kProtectedStorage = OpenOnly('P', POpenKeyStorage);

}  // namespace

const StorageOperations& KeyStorage() { return kKeyStorage; }
const StorageOperations& ProtectedStorage() { return kProtectedStorage; }

}  // namespace tv::csp
