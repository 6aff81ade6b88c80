// The lock that serialises every read and change of one simulator directory
// (or of one container file) among all processes of the user: a named mutex
// whose name carries a hash of the upper-cased path. Mutexes are recursive,
// so a thread that holds the lock may take it again.
//
// A holder killed while holding the mutex leaves it abandoned; the next
// waiter owns it then, and the files are still sound because every change
// replaces its file atomically.
#pragma once
#include <windows.h>

#include <string>

namespace tv::keysim {

class CrossProcessLock {
 public:
  explicit CrossProcessLock(const std::string& scope, DWORD timeoutMs = 10000);
  ~CrossProcessLock();
  CrossProcessLock(const CrossProcessLock&) = delete;
  CrossProcessLock& operator=(const CrossProcessLock&) = delete;

  // 0 when held; else the reason (ERROR_TIMEOUT, or the Win32 error).
  DWORD Error() const { return error_; }

  // The mutex name used for `scope`.
  static std::string MutexName(const std::string& scope);

 private:
  HANDLE mutex_ = nullptr;
  bool held_ = false;
  DWORD error_ = 0;
};

}  // namespace tv::keysim
