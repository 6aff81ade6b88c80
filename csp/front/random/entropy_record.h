// The entropy record: window, process and timing values of the moment,
// gathered when the first provider context of a process seeds the
// generator. Those values are guessable, so the record is only extra input
// beside the operating system's entropy (random_generator.h).
#pragma once
#include <cstdint>
#include <span>

namespace tv::csp {

struct EntropyRecord {
  // In this order: GetActiveWindow, GetCapture, GetClipboardOwner,
  // GetClipboardViewer, GetCurrentProcess, GetCurrentProcessId,
  // GetCurrentThread, GetCurrentThreadId, GetTickCount (twice),
  // GetDesktopWindow, GetFocus, GetMessagePos, GetMessageTime,
  // GetOpenClipboardWindow, GetProcessHeap, GetProcessWindowStation and
  // GetQueueStatus(0xBF); handles are truncated to their low 32 bits.
  std::uint32_t values[18];

  std::span<const std::uint8_t> Bytes() const {
    return {reinterpret_cast<const std::uint8_t*>(values), sizeof values};
  }
};
static_assert(sizeof(EntropyRecord) == 72);

EntropyRecord GatherEntropyRecord();

}  // namespace tv::csp
