// Faults injected for tests: the next N calls of a named export fail with a
// given last error, or the next N InitCard calls on a reader return a given
// status. Kept in the simulator directory so that the tool, a test and the
// process under test all see the same faults. Off unless set.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "standins/tvkey32/store/secret.h"

namespace tv::keysim {

struct OperationFault {
  std::string operation;
  std::uint32_t remaining = 0;  // tvkey32::kFaultAlways: never runs out
  DWORD error = 0;
};

struct ForcedStatus {
  std::string reader;
  std::int32_t status = 0;
  std::uint32_t remaining = 0;
};

struct FaultTable {
  std::vector<OperationFault> operations;
  std::vector<ForcedStatus> statuses;

  bool Empty() const { return operations.empty() && statuses.empty(); }

  // Sets or replaces; a count of 0 removes.
  void SetOperationFault(std::string_view operation, std::uint32_t count, DWORD error);
  void SetForcedStatus(std::string_view reader, std::int32_t status, std::uint32_t count);

  // Uses up one call: the error to fail with, or the status to return.
  std::optional<DWORD> TakeOperationFault(std::string_view operation);
  std::optional<std::int32_t> TakeForcedStatus(std::string_view reader);
};

// Whether `name` is one of the 35 exports of tvkey32.dll (exact case).
bool IsExportName(std::string_view name);

SecretBytes EncodeFaultTable(const FaultTable& table);
std::optional<FaultTable> DecodeFaultTable(std::span<const std::uint8_t> payload);

}  // namespace tv::keysim
