// The Key backend ("C") is not built yet. Its storage never opens, as when
// the token layer is unavailable, so that the provider context falls back
// to software storage; no other entry of its table can be reached.
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

// A table whose only entry is an open that fails.
constexpr StorageOperations OpenOnly(char letter, decltype(StorageOperations::OpenKeyStorage) open) {
  StorageOperations table{};
  table.letter = letter;
  table.OpenKeyStorage = open;
  return table;
}

constinit const StorageOperations kKeyStorage = OpenOnly('C', COpenKeyStorage);

}  // namespace

const StorageOperations& KeyStorage() { return kKeyStorage; }

}  // namespace tv::csp
