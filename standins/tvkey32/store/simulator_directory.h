// Where the simulator keeps its readers, Keys and faults. The first of these
// that is set wins:
//   1. the environment variable TV_KEYSIM_DIR;
//   2. the registry value HKCU\Software\Tavrin\KeySim "Directory";
//   3. <local application data>\Tavrin\KeySim.
// The directory is looked up at every call, so a test may point a process at
// a directory of its own at any time.
#pragma once
#include <string>

namespace tv::keysim {

inline constexpr char kDirectoryVariable[] = "TV_KEYSIM_DIR";
inline constexpr char kDirectoryRegistryKey[] = "Software\\Tavrin\\KeySim";
inline constexpr char kDirectoryRegistryValue[] = "Directory";

// Full path without a trailing backslash; empty when none can be found.
std::string SimulatorDirectory();

// Full form of a path (GetFullPathName), without a trailing backslash unless
// it is a drive root.
std::string NormalisePath(const std::string& path);

}  // namespace tv::keysim
