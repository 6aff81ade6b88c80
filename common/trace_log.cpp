#include "common/trace_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/module_version.h"
#include "common/windows_kind.h"

namespace tv {
namespace {

constexpr size_t kMaxLine = 512;

char LogPath[MAX_PATH];
unsigned LogLevel;

const char* LevelMark(unsigned level) {
  static const char* const marks[] = {"", "E ", "W ", "T ", "P ", "I "};
  return level < 6 ? marks[level] : "";
}

// Level from the marker's first character: a digit gives that level,
// anything else (or an empty file) gives 3.
unsigned LevelFromMarker(FILE* marker) {
  const int first = fgetc(marker);
  return (first >= '0' && first <= '9') ? static_cast<unsigned>(first - '0') : 3;
}

// A read-only marker must not become the log; the attribute is checked as
// well as the open, because an administrator's open would succeed anyway.
FILE* OpenMarker(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY)) return nullptr;
  return fopen(path, "r+");
}

// Tries "X:\TV_<tag>.log" on every fixed drive, A to Z; the first that
// opens for update is the log. LogPath keeps the last path tried.
FILE* FindMarker(const char* moduleTag) {
  const DWORD drives = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(drives & (1u << i))) continue;
    char root[] = "A:\\";
    root[0] = static_cast<char>('A' + i);
    if (GetDriveTypeA(root) != DRIVE_FIXED) continue;
    snprintf(LogPath, sizeof LogPath, "%sTV_%s.log", root, moduleTag);
    if (FILE* marker = OpenMarker(LogPath)) return marker;
  }
  return nullptr;
}

void WriteHeader(HMODULE module) {
  const ModuleVersionInfo version = ReadModuleVersion(module, nullptr);
  SYSTEMTIME now;
  GetLocalTime(&now);
  WriteLog(LogError, "",
           "Start logfile ============================================\r\n"
           "   Product: %s, Ver: %s\r\n   Module: %s, Ver: %s\r\n   OS: %s\r\n   Date: %02d.%02d.%02d",
           version.productName.c_str(), version.productVersion.c_str(),
           version.moduleFileName.c_str(), version.fileVersion.c_str(),
           WindowsKindName(GetWindowsKind()), now.wDay, now.wMonth, now.wYear % 100);
}

// Appends the line; returns the error of a failed write, else 0. A log
// that cannot be opened drops the line. Threads and processes write the
// same file at once: the file is shared for writing, and writers take turns
// (a lock on one byte far past any log's end, so that readers are never
// refused) between finding the end and writing there. Each line lands whole,
// after the others, instead of being dropped for a sharing violation or
// overwritten by another writer's line.
DWORD AppendToLog(const char* line, DWORD length) {
  HANDLE file = CreateFileA(LogPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  OVERLAPPED turn = {};
  turn.OffsetHigh = 0x7FFFFFFF;
  const bool locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn);
  SetFilePointer(file, 0, nullptr, FILE_END);
  DWORD written = 0;
  const DWORD writeError = WriteFile(file, line, length, &written, nullptr) ? 0 : GetLastError();
  if (locked) UnlockFileEx(file, 0, 1, 0, &turn);
  CloseHandle(file);
  return writeError;
}


}  // namespace

bool OpenLog(const char* moduleTag, HMODULE module) {
  if (strlen(LogPath) > 5) return false;
  LogLevel = 0;
  FILE* marker = FindMarker(moduleTag);
  if (!marker) return false;
  const unsigned level = LevelFromMarker(marker);
  fclose(marker);
  LogLevel = level;
  WriteHeader(module);
  return true;
}

unsigned WriteLog(unsigned level, const char* label, const char* format, ...) {
  if (level == 0 || level > LogLevel) return 0;
  const DWORD savedError = GetLastError();

  char line[kMaxLine];
  SYSTEMTIME now;
  GetLocalTime(&now);
  int used = snprintf(line, sizeof line, "\r\n[%2d:%2d : %2d:%3d] %s [%30s] ", now.wHour, now.wMinute,
                      now.wSecond, now.wMilliseconds, LevelMark(level), label ? label : "");
  if (used < 0) used = 0;
  if (static_cast<size_t>(used) < sizeof line) {
    va_list args;
    va_start(args, format);
    vsnprintf(line + used, sizeof line - used, format, args);
    va_end(args);
  }
  line[sizeof line - 1] = '\0';

  const DWORD writeError = AppendToLog(line, static_cast<DWORD>(strlen(line)));
  SetLastError(writeError ? writeError : savedError);
  return 1;
}

void LogHexDump(unsigned level, const char* label, const void* bytes, std::size_t count) {
  if (level == 0 || level > LogLevel) return;
  WriteLog(level, "", "%s. %08X.", label, static_cast<unsigned>(count));
  // Only what fits in one line is formatted; the rest would be cut anyway.
  char hex[kMaxLine];
  const std::size_t fits = sizeof hex / 2 - 1;
  const std::size_t shown = !bytes ? 0 : count < fits ? count : fits;
  const auto* data = static_cast<const unsigned char*>(bytes);
  for (std::size_t i = 0; i < shown; ++i) snprintf(hex + 2 * i, 3, "%02X", data[i]);
  hex[2 * shown] = '\0';
  WriteLog(level, "", "%s. %08X. %s.", label, static_cast<unsigned>(2 * count + 1), hex);
}

unsigned CurrentLogLevel() { return LogLevel; }

void ResetLog() {
  LogPath[0] = '\0';
  LogLevel = 0;
}

}  // namespace tv
