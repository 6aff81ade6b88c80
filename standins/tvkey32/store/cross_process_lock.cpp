#include "standins/tvkey32/store/cross_process_lock.h"

#include <cctype>
#include <cstdint>
#include <cstdio>

namespace tv::keysim {
namespace {

// FNV-1a, 64 bits: enough to keep the names of different paths apart.
std::uint64_t HashPath(const std::string& path) {
  std::uint64_t h = 0xCBF29CE484222325ull;
  for (const char c : path) {
    h ^= static_cast<std::uint8_t>(std::toupper(static_cast<unsigned char>(c)));
    h *= 0x100000001B3ull;
  }
  return h;
}

}  // namespace

std::string CrossProcessLock::MutexName(const std::string& scope) {
  char name[64];
  snprintf(name, sizeof name, "Local\\TvKeySim-%016llX", static_cast<unsigned long long>(HashPath(scope)));
  return name;
}

CrossProcessLock::CrossProcessLock(const std::string& scope, DWORD timeoutMs) {
  mutex_ = CreateMutexA(nullptr, FALSE, MutexName(scope).c_str());
  if (!mutex_) {
    error_ = GetLastError();
    return;
  }
  switch (WaitForSingleObject(mutex_, timeoutMs)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:
      held_ = true;
      break;
    case WAIT_TIMEOUT:
      error_ = ERROR_TIMEOUT;
      break;
    default:
      error_ = GetLastError();
      break;
  }
}

CrossProcessLock::~CrossProcessLock() {
  if (held_) ReleaseMutex(mutex_);
  if (mutex_) CloseHandle(mutex_);
}

}  // namespace tv::keysim
