#include "csp/front/handles.h"

#include <cstring>
#include <unordered_set>

#include "csp/front/process_state.h"

namespace tv::csp {
namespace {

struct LiveRecords {
  SRWLOCK lock = SRWLOCK_INIT;
  std::unordered_set<ULONG_PTR> records[3];

  std::unordered_set<ULONG_PTR>& Of(HandleKind kind) { return records[static_cast<int>(kind)]; }
};

LiveRecords& Live() {
  static LiveRecords live;
  return live;
}

}  // namespace

void RegisterHandle(HandleKind kind, const void* record) {
  LiveRecords& live = Live();
  AcquireSRWLockExclusive(&live.lock);
  live.Of(kind).insert(reinterpret_cast<ULONG_PTR>(record));
  ReleaseSRWLockExclusive(&live.lock);
}

void UnregisterHandle(HandleKind kind, const void* record) {
  LiveRecords& live = Live();
  AcquireSRWLockExclusive(&live.lock);
  live.Of(kind).erase(reinterpret_cast<ULONG_PTR>(record));
  ReleaseSRWLockExclusive(&live.lock);
}

std::uint32_t TagOf(HandleKind kind, ULONG_PTR handle) {
  if (!handle) return 0;
  LiveRecords& live = Live();
  std::uint32_t tag = 0;
  AcquireSRWLockShared(&live.lock);
  if (live.Of(kind).count(handle))
    memcpy(&tag, reinterpret_cast<const unsigned char*>(handle) + TagOffset(kind), sizeof tag);
  ReleaseSRWLockShared(&live.lock);
  return tag;
}

bool IsValidHandle(HandleKind kind, ULONG_PTR handle) {
  const std::uint32_t tag = TagOf(kind, handle);
  return tag != 0 && tag == HandleTag.load();
}

}  // namespace tv::csp
