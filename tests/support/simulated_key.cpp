#include "tests/support/simulated_key.h"

#include <windows.h>

#include "tests/support/child_process.h"
#include "tests/support/isolation.h"

namespace tvtest {

bool PrepareSimulatedKey(const std::string& directory, const std::string& reader, const std::string& key,
                         const std::string& pin) {
  SetEnvironmentVariableA("TV_KEYSIM_DIR", directory.c_str());
  const std::string keysim = "\"" + ProgramDirectory() + "\\keysim.exe\" ";
  const std::string quotedReader = "\"" + reader + "\"";
  return RunProcess(keysim + "add-reader " + quotedReader) == 0 &&
         RunProcess(keysim + "create-key " + key + " --pin " + pin) == 0 &&
         RunProcess(keysim + "insert " + key + " " + quotedReader) == 0;
}

}  // namespace tvtest
