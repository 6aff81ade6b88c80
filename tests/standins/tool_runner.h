// Runs keysim.exe (beside the test program) and collects what it printed.
#pragma once
#include <string>

namespace tvtest {

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

ToolRun RunKeysim(const std::string& arguments);

}  // namespace tvtest
