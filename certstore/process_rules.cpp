#include "certstore/process_rules.h"

#include <shlwapi.h>

#include <cstring>
#include <vector>

#include "common/trace_log.h"

namespace tv::certstore {
namespace {

constexpr const char* kSection = "tv_cstore";

bool Contains(const std::string& text, const char* part) { return StrStrIA(text.c_str(), part) != nullptr; }

}  // namespace

ProcessEnvironment SystemProcessEnvironment() {
  return {
      .commandLine = [] { return std::string(GetCommandLineA()); },
      .readAllowList = [](char* buffer, DWORD size) { return GetPrivateProfileSectionA(kSection, buffer, size, "win.ini"); },
      .userName = []() -> std::optional<std::string> {
        char name[256];
        DWORD size = sizeof name;
        if (!GetUserNameA(name, &size)) return std::nullopt;
        return std::string(name);
      },
  };
}

bool IsIgnoredProcess(const ProcessEnvironment& environment) {
  constexpr const char* kLabel = "ignore_situation:";
  std::vector<char> section(kAllowListBufferSize, '\0');
  const DWORD read = environment.readAllowList(section.data(), kAllowListBufferSize);
  if (read >= kAllowListBufferSize - 2) {
    WriteLog(LogWarning, kLabel, "not enough buffer for reading win.ini file");
    return false;
  }
  const std::string commandLine = environment.commandLine();
  WriteLog(LogMonitor, kLabel, "CmdLine = %s", commandLine.c_str());
  // Entries end at their terminator; the section ends at an empty entry or
  // at the count read, whichever comes first.
  for (const char* entry = section.data(); entry < section.data() + read && *entry; entry += strlen(entry) + 1)
    if (Contains(commandLine, entry)) return false;
  if (Contains(commandLine, "regsvr32.exe")) return false;
  WriteLog(LogTrace, kLabel, "ignoring card !!!");
  return true;
}

bool IsMigrationTool(const ProcessEnvironment& environment) {
  return Contains(environment.commandLine(), "tvmover.cpl");
}

bool IsSystemUser(const ProcessEnvironment& environment) {
  constexpr const char* kLabel = "           Open:";
  const std::optional<std::string> user = environment.userName();
  if (!user) {
    WriteLog(LogWarning, kLabel, "error getting User Name %08X", static_cast<unsigned>(GetLastError()));
    return false;
  }
  if (*user == "SYSTEM") {
    WriteLog(LogTrace, kLabel, "User Name SYSTEM - exiting without adding certificates");
    return true;
  }
  WriteLog(LogInfo, kLabel, "User Name = %s", user->c_str());
  return false;
}

}  // namespace tv::certstore
