#include "csp/storage/registry_value_batch.h"

#include "csp/storage/registry_values.h"

namespace tv::csp {

bool RegistryValueBatch::Set(const char* name, std::span<const std::uint8_t> bytes) {
  if (count_ == kMaxValues) return FailWith(ERROR_INVALID_PARAMETER);
  Previous& previous = previous_[count_];
  if (!ReadValue(key_, name, maxPreviousSize_, previous.bytes, previous.present)) return false;
  previous.name = name;
  // Counted before writing: a write that fails part way is undone as well.
  ++count_;
  return WriteBinaryValue(key_, name, bytes);
}

RegistryValueBatch::~RegistryValueBatch() {
  const DWORD error = GetLastError();
  while (count_ > 0) {
    const Previous& previous = previous_[--count_];
    const crypto::WipingBuffer& bytes = previous.bytes;
    if (previous.present) {
      WriteBinaryValue(key_, previous.name, {bytes.Data(), bytes.Size()});
    } else {
      DeleteValue(key_, previous.name);
    }
  }
  SetLastError(error);
}

}  // namespace tv::csp
