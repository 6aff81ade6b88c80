#include "csp/front/entry_frame.h"

#include <cstdio>

#include "common/trace_log.h"
#include "csp/front/process_state.h"

namespace tv::csp {

void EntryFrame::Enter(std::initializer_list<ULONG_PTR> values) const {
  if (CurrentLogLevel() < LogTrace) return;
  char text[400];
  int used = snprintf(text, sizeof text, "%s. 1.", entry_);
  for (ULONG_PTR value : values) {
    if (used < 0 || static_cast<size_t>(used) >= sizeof text) break;
    used += snprintf(text + used, sizeof text - used, " %08X.", static_cast<unsigned>(value));
  }
  WriteLog(LogTrace, "", "%s", text);
}

bool EntryFrame::CheckHandle(HandleKind kind, ULONG_PTR handle, int failStep) const {
  if (IsValidHandle(kind, handle)) return true;
  if (failStep)
    WriteLog(LogError, "", "%s. %d. %08X. %08X.", entry_, failStep, static_cast<unsigned>(handle),
             static_cast<unsigned>(TagOf(kind, handle)));
  Refuse(BadHandleError(kind));
  return false;
}

BOOL EntryFrame::Fail(int step, DWORD error) const {
  WriteLog(LogError, "", "%s. %d. %08X.", entry_, step, static_cast<unsigned>(error));
  return Refuse(error);
}

BOOL EntryFrame::Refuse(DWORD error) const {
  LastProviderError = error;
  SetLastError(error);
  return FALSE;
}

BOOL EntryFrame::Succeed(int step) const {
  WriteLog(LogTrace, "", "%s. %d.", entry_, step);
  return TRUE;
}

}  // namespace tv::csp
