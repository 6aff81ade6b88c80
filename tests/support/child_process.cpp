#include "tests/support/child_process.h"

#include <cstdio>

namespace tvtest {

ChildProcess::ChildProcess(const std::string& commandLine, const ChildOptions& options) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  const bool redirected = options.output || options.error;
  if (redirected) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = options.output ? options.output : GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = options.error ? options.error : GetStdHandle(STD_ERROR_HANDLE);
  }
  std::string command = commandLine;
  PROCESS_INFORMATION started = {};
  if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, redirected, 0, nullptr,
                     options.workingDir.empty() ? nullptr : options.workingDir.c_str(), &startup, &started)) {
    process_ = started;
    return;
  }
  startError_ = GetLastError();
  fprintf(stderr, "could not start %s: CreateProcess failed with error %lu\n", commandLine.c_str(),
          static_cast<unsigned long>(startError_));
  fflush(stderr);
}

ChildProcess::~ChildProcess() {
  if (!Started()) return;
  if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) Kill();
  CloseHandle(process_.hThread);
  CloseHandle(process_.hProcess);
}

int ChildProcess::Wait(DWORD boundMs) {
  if (!Started() || WaitForSingleObject(process_.hProcess, boundMs) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  return GetExitCodeProcess(process_.hProcess, &code) ? static_cast<int>(code) : -1;
}

void ChildProcess::Kill() {
  if (!Started()) return;
  TerminateProcess(process_.hProcess, 255);
  WaitForSingleObject(process_.hProcess, INFINITE);
}

int RunProcess(const std::string& commandLine, DWORD boundMs, const std::string& workingDir) {
  ChildProcess child(commandLine, {workingDir});
  const int code = child.Wait(boundMs);
  if (child.Started() && code == -1) {
    fprintf(stderr, "%s was still running after %lu ms and was ended\n", commandLine.c_str(),
            static_cast<unsigned long>(boundMs));
    fflush(stderr);
  }
  return code;
}

}  // namespace tvtest
