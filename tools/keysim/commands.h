// The commands of keysim and what they share. Every command checks all of
// its arguments before it changes anything, and every change is one atomic
// replacement of one file, so a refused or failed command leaves the
// simulator as it was.
#pragma once
#include <windows.h>

#include <string>

#include "standins/tvkey32/store/key_state.h"
#include "standins/tvkey32/store/simulator_files.h"
#include "tools/keysim/command_line.h"

namespace tv::keysim::tool {

enum ExitCode : int { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

using CommandFn = int (*)(const Invocation& in, const std::string& directory);

// What a change function under a file's lock returns when it refused the
// change (its message says why): the file is then not saved.
inline constexpr DWORD kRefusedChange = ERROR_CANCELLED;

// Prints "keysim: <message>" on the error stream; returns kExitFailed.
int Refuse(const std::string& message);
// The same with the system's text for a Win32 error.
int Failed(const std::string& what, DWORD error);
std::string ErrorText(DWORD error);

// A Key on the command line: a Key name of the simulator directory, or the
// full path of a ".tva" container file.
bool ResolveKey(const std::string& directory, const std::string& reference, KeyPlace& place, std::string& problem);

// --label, --pin, --attempts, --capacity; defaults for those not given.
bool SettingsFromOptions(const Invocation& in, KeySettings& settings, std::string& problem);

int RunList(const Invocation& in, const std::string& directory);
int RunDump(const Invocation& in, const std::string& directory);
int RunDirectory(const Invocation& in, const std::string& directory);

int RunAddReader(const Invocation& in, const std::string& directory);
int RunRemoveReader(const Invocation& in, const std::string& directory);
int RunInsert(const Invocation& in, const std::string& directory);
int RunEject(const Invocation& in, const std::string& directory);

int RunCreateKey(const Invocation& in, const std::string& directory);
int RunFormat(const Invocation& in, const std::string& directory);
int RunDeleteKey(const Invocation& in, const std::string& directory);
int RunBlock(const Invocation& in, const std::string& directory);
int RunUnblock(const Invocation& in, const std::string& directory);
int RunSetPin(const Invocation& in, const std::string& directory);
int RunClearPin(const Invocation& in, const std::string& directory);
int RunSetFaulty(const Invocation& in, const std::string& directory);
int RunSetAppInfo(const Invocation& in, const std::string& directory);

int RunSetFault(const Invocation& in, const std::string& directory);
int RunForceStatus(const Invocation& in, const std::string& directory);
int RunClearFaults(const Invocation& in, const std::string& directory);

}  // namespace tv::keysim::tool
