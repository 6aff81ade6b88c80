// Optional trace log. Logging is off unless a marker file "TV_<tag>.log"
// exists in the root of a fixed drive; that file is then the log, and its
// first character (a digit) is the highest level written.
#pragma once
#include <windows.h>

#include <cstddef>

namespace tv {

// Levels and their marks: 1 "E " error, 2 "W " warning, 3 "T " trace,
// 4 "P ", 5 "I "; 6 to 9 carry an empty mark.
enum LogLevelValue : unsigned { LogError = 1, LogWarning = 2, LogTrace = 3, LogMonitor = 4, LogInfo = 5 };

// Looks for the marker file once per process and writes the header; false
// when the search was made before or no marker was found.
bool OpenLog(const char* moduleTag, HMODULE module);

// Appends one line (cut at 512 bytes) when `level` is logged; returns 1 when
// the line was attempted, 0 when the level is off. Never changes the
// thread's last error unless writing the line itself failed.
unsigned WriteLog(unsigned level, const char* label, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Writes "<label>. <count>." and then "<label>. <2*count+1>. <hex>." (upper
// case, no separators) when `level` is logged; the hex line is cut like any
// other line.
void LogHexDump(unsigned level, const char* label, const void* bytes, std::size_t count);

// The highest level written, 0 when logging is off.
unsigned CurrentLogLevel();

// Forgets the marker search so that a later OpenLog searches again (used at
// process detach and by tests).
void ResetLog();

}  // namespace tv
