// Which processes may use the Key's certificates. The provider is loaded
// into every process that opens the personal store, so it leaves the Key
// alone unless the process is on the allow list (the "tv_cstore" section of
// win.ini) or is the registration tool, never touches it for the user
// "SYSTEM", and writes to it only for the migration tool.
#pragma once
#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace tv::certstore {

inline constexpr DWORD kAllowListBufferSize = 5000;

// What the rules learn of the process; tests put their own answers here.
struct ProcessEnvironment {
  std::function<std::string()> commandLine;
  // The "tv_cstore" section as GetPrivateProfileSectionA gives it: entries,
  // each terminated, into `buffer`; the count of bytes written.
  std::function<DWORD(char* buffer, DWORD size)> readAllowList;
  // The user name, or nothing when it cannot be had (the last error says why).
  std::function<std::optional<std::string>()> userName;
};

// The process's own command line, win.ini and user.
ProcessEnvironment SystemProcessEnvironment();

// True when this process leaves the Key alone: no allow-list entry occurs
// in its command line (case-insensitively) and it is not "regsvr32.exe".
// A section too long to read counts as allowing.
bool IsIgnoredProcess(const ProcessEnvironment& environment);
// Whether the command line names the migration tool, the only writer.
bool IsMigrationTool(const ProcessEnvironment& environment);
// Whether the user is exactly "SYSTEM" (traced either way).
bool IsSystemUser(const ProcessEnvironment& environment);

}  // namespace tv::certstore
