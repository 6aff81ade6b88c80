#include "tests/standins/tool_runner.h"

#include <windows.h>

#include <thread>

#include "tests/support/isolation.h"

namespace tvtest {
namespace {

struct Pipe {
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  Pipe() {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    CreatePipe(&read, &write, &inherit, 0);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  }
  ~Pipe() {
    CloseWrite();
    if (read) CloseHandle(read);
  }
  void CloseWrite() {
    if (write) CloseHandle(write);
    write = nullptr;
  }
  std::string ReadAll() {
    std::string text;
    char chunk[4096];
    DWORD n = 0;
    while (ReadFile(read, chunk, sizeof chunk, &n, nullptr) && n > 0) text.append(chunk, n);
    return text;
  }
};

std::string QuotedProgram(const std::string& name) {
  std::string quoted(1, '"');
  quoted += ProgramDirectory();
  quoted += '\\';
  quoted += name;
  quoted += '"';
  return quoted;
}

// Console output comes with "\r\n"; the tests compare with "\n".
std::string WithoutCarriageReturns(std::string text) {
  std::erase(text, '\r');
  return text;
}

}  // namespace

ToolRun RunKeysim(const std::string& arguments) {
  ToolRun run;
  Pipe out, err;
  ChildProcess keysim(QuotedProgram("keysim.exe") + " " + arguments, {"", out.write, err.write});
  out.CloseWrite();
  err.CloseWrite();
  if (!keysim.Started()) {
    run.err = "keysim.exe could not start: error " + std::to_string(keysim.StartError()) + "\n";
    return run;
  }
  std::thread errors([&] { run.err = WithoutCarriageReturns(err.ReadAll()); });
  run.out = WithoutCarriageReturns(out.ReadAll());
  errors.join();
  run.exitCode = keysim.Wait();
  return run;
}

}  // namespace tvtest
