// A program that a test starts. A start that fails says why (the command and
// the last error) on the test's error output, so that a failed start never
// reads as a mere exit code.
#pragma once
#include <windows.h>

#include <string>

namespace tvtest {

struct ChildOptions {
  std::string workingDir;          // empty: the test's own
  HANDLE output = nullptr;         // standard output and error of the child,
  HANDLE error = nullptr;          // inheritable handles; null: the test's
};

class ChildProcess {
 public:
  explicit ChildProcess(const std::string& commandLine, const ChildOptions& options = {});
  ~ChildProcess();  // ends a child that is still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return process_.hProcess != nullptr; }
  DWORD StartError() const { return startError_; }
  // The exit code; -1 when the child did not start or is still running
  // after `boundMs`. Without a bound the run's own time limit applies.
  int Wait(DWORD boundMs = INFINITE);
  void Kill();

 private:
  PROCESS_INFORMATION process_ = {};
  DWORD startError_ = 0;
};

// Runs a program to completion and returns its exit code, or -1 when it
// could not start or was still running after `boundMs` (then it is ended).
int RunProcess(const std::string& commandLine, DWORD boundMs = INFINITE, const std::string& workingDir = "");

}  // namespace tvtest
