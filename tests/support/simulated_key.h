// A reader holding a Key with a PIN in a simulator directory of its own,
// made with keysim.exe (beside the running program) as a user would. The
// directory becomes this process's TV_KEYSIM_DIR, inherited by its children.
#pragma once
#include <string>

namespace tvtest {

// False when keysim failed; it has then said why on its output.
bool PrepareSimulatedKey(const std::string& directory, const std::string& reader, const std::string& key,
                         const std::string& pin);

}  // namespace tvtest
