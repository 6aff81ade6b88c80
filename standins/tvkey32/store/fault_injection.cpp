#include "standins/tvkey32/store/fault_injection.h"

#include <utility>

#include "standins/tvkey32/store/cross_process_lock.h"
#include "standins/tvkey32/store/locked_update.h"

namespace tv::keysim {
namespace {

// Takes one use of a fault with `take` and saves the table when one was used.
template <class Take>
auto TakeFault(const std::string& directory, Take take) -> decltype(take(std::declval<FaultTable&>())) {
  if (!HasFaultTable(directory)) return std::nullopt;
  CrossProcessLock lock(directory);
  if (lock.Error() != 0) return std::nullopt;
  Loaded<FaultTable> table = LoadFaultTable(directory);
  if (!table.Ok()) return std::nullopt;
  auto taken = take(table.value);
  if (taken) SaveFaultTable(directory, table.value);
  return taken;
}

}  // namespace

DWORD SetOperationFault(const std::string& directory, std::string_view operation, std::uint32_t count, DWORD error) {
  if (!IsExportName(operation)) return ERROR_INVALID_PARAMETER;
  return UpdateFaultTable(directory, [&](FaultTable& t) {
    t.SetOperationFault(operation, count, error);
    return DWORD{0};
  });
}

DWORD SetForcedStatus(const std::string& directory, std::string_view reader, std::int32_t status, std::uint32_t count) {
  if (reader.empty()) return ERROR_INVALID_PARAMETER;
  return UpdateFaultTable(directory, [&](FaultTable& t) {
    t.SetForcedStatus(reader, status, count);
    return DWORD{0};
  });
}

DWORD ClearFaults(const std::string& directory) {
  CrossProcessLock lock(directory);
  if (lock.Error() != 0) return lock.Error();
  return SaveFaultTable(directory, FaultTable{});
}

std::optional<DWORD> TakeOperationFault(const std::string& directory, std::string_view operation) {
  return TakeFault(directory, [&](FaultTable& t) { return t.TakeOperationFault(operation); });
}

std::optional<std::int32_t> TakeForcedStatus(const std::string& directory, std::string_view reader) {
  return TakeFault(directory, [&](FaultTable& t) { return t.TakeForcedStatus(reader); });
}

}  // namespace tv::keysim
