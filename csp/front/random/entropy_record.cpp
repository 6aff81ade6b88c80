#include "csp/front/random/entropy_record.h"

#include <windows.h>

namespace tv::csp {
namespace {

// The queue-status mask of the original record: QS_ALLEVENTS without the
// raw-input bit of later systems.
constexpr UINT kQueueStatusMask = 0xBF;

std::uint32_t Low32(const void* handle) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(handle));
}

}  // namespace

EntropyRecord GatherEntropyRecord() {
  return EntropyRecord{{
      Low32(GetActiveWindow()),
      Low32(GetCapture()),
      Low32(GetClipboardOwner()),
      Low32(GetClipboardViewer()),
      Low32(GetCurrentProcess()),
      static_cast<std::uint32_t>(GetCurrentProcessId()),
      Low32(GetCurrentThread()),
      static_cast<std::uint32_t>(GetCurrentThreadId()),
      static_cast<std::uint32_t>(GetTickCount()),
      static_cast<std::uint32_t>(GetTickCount()),
      Low32(GetDesktopWindow()),
      Low32(GetFocus()),
      static_cast<std::uint32_t>(GetMessagePos()),
      static_cast<std::uint32_t>(GetMessageTime()),
      Low32(GetOpenClipboardWindow()),
      Low32(GetProcessHeap()),
      Low32(GetProcessWindowStation()),
      static_cast<std::uint32_t>(GetQueueStatus(kQueueStatusMask)),
  }};
}

}  // namespace tv::csp
