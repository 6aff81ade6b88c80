// set-fault, force-status, clear-faults.
#include <cstdio>

#include "standins/tvkey32/store/fault_injection.h"
#include "standins/tvkey32/store/fault_table.h"
#include "tools/keysim/commands.h"

namespace tv::keysim::tool {

int RunSetFault(const Invocation& in, const std::string& directory) {
  const std::string& operation = in.args[0];
  std::uint32_t count = 0, error = 0;
  if (!IsExportName(operation)) return Refuse(operation + " is not an export of tvkey32.dll");
  if (!ParseCount(in.args[1], count)) return Refuse("the count is a number from 1, or always");
  if (!ParseUnsigned(in.args[2], 0xFFFFFFFF, error) || error == 0) {
    return Refuse("the error is a non-zero Win32 or HRESULT code, such as 31 or 0x8010006B");
  }
  if (const DWORD e = SetOperationFault(directory, operation, count, error)) return Failed("cannot set the fault", e);
  printf("%s now fails with 0x%08lX.\n", operation.c_str(), static_cast<unsigned long>(error));
  return kExitOk;
}

int RunForceStatus(const Invocation& in, const std::string& directory) {
  const std::string& reader = in.args[0];
  std::int32_t status = 0;
  std::uint32_t count = 1;
  if (!ParseSigned(in.args[1], status)) return Refuse("the status is a whole number, such as -5");
  if (in.args.size() > 2 && !ParseCount(in.args[2], count)) return Refuse("the count is a number from 1, or always");
  if (const DWORD e = SetForcedStatus(directory, reader, status, count)) return Failed("cannot force the status", e);
  printf("InitCard on \"%s\" now returns %d.\n", reader.c_str(), static_cast<int>(status));
  return kExitOk;
}

int RunClearFaults(const Invocation&, const std::string& directory) {
  if (const DWORD e = ClearFaults(directory)) return Failed("cannot clear the faults", e);
  printf("No faults set.\n");
  return kExitOk;
}

}  // namespace tv::keysim::tool
