// The frame every exported CP entry shares: the entry line at level 3,
// handle validation against HandleTag, failure lines at level 1 with the
// error, the closing line, and the error kept in LastProviderError.
#pragma once
#include <windows.h>

#include <initializer_list>

#include "csp/front/handles.h"

namespace tv::csp {

class EntryFrame {
 public:
  explicit EntryFrame(const char* entry) : entry_(entry) {}

  // "<entry>. 1. %08X. ..." with one value per argument, at level 3.
  void Enter(std::initializer_list<ULONG_PTR> values) const;
  // Checks one handle; false (with its kind's error set) when invalid. A
  // non-zero step writes "<entry>. <step>. %08X. %08X." (handle, its tag)
  // at level 1 for an invalid handle.
  bool CheckHandle(HandleKind kind, ULONG_PTR handle, int failStep = 0) const;
  // "<entry>. <step>. %08X." with the error at level 1; sets the error.
  BOOL Fail(int step, DWORD error) const;
  // Sets the error without a trace line.
  BOOL Refuse(DWORD error) const;
  // "<entry>. <step>." at level 3.
  BOOL Succeed(int step) const;

  const char* Name() const { return entry_; }

 private:
  const char* entry_;
};

// The low 32 bits of a handle or pointer, as the trace lines show them.
inline ULONG_PTR TraceValue(const void* pointer) { return reinterpret_cast<ULONG_PTR>(pointer); }

}  // namespace tv::csp
