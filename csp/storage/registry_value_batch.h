// Several binary values of one registry key written as a unit: unless the
// batch is committed, every value it wrote gets back what it held before
// (or is deleted again when it was absent), so that a write failing part
// way leaves the key as it was.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <span>

#include "csp/crypto/cpu/wipe.h"

namespace tv::csp {

class RegistryValueBatch {
 public:
  // Values written by one batch: an exportable flag and the four records.
  static constexpr std::size_t kMaxValues = 5;

  // maxPreviousSize bounds the earlier contents kept for restoring; a value
  // that held more cannot be replaced by the batch.
  RegistryValueBatch(HKEY key, std::size_t maxPreviousSize) : key_(key), maxPreviousSize_(maxPreviousSize) {}
  ~RegistryValueBatch();
  RegistryValueBatch(const RegistryValueBatch&) = delete;
  RegistryValueBatch& operator=(const RegistryValueBatch&) = delete;

  // Keeps the value's present contents, then writes `bytes` (REG_BINARY).
  bool Set(const char* name, std::span<const std::uint8_t> bytes);
  // Keeps everything written so far.
  void Commit() { count_ = 0; }

 private:
  struct Previous {
    const char* name = nullptr;
    bool present = false;
    crypto::WipingBuffer bytes;
  };

  HKEY key_;
  std::size_t maxPreviousSize_;
  Previous previous_[kMaxValues];
  std::size_t count_ = 0;
};

}  // namespace tv::csp
