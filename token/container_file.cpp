#include "token/container_file.h"

#include <cctype>
#include <cstring>

#include "common/trace_log.h"

namespace tv::token {
namespace {

constexpr char kExtension[] = ".tva";
constexpr std::size_t kExtensionLength = sizeof kExtension - 1;
constexpr std::size_t kPathMax = kContainerPathSize - 1;

// Critical-error boxes suppressed on this thread while a search touches a
// drive; the thread's previous mode comes back at the end of the scope.
class QuietDriveErrors {
 public:
  QuietDriveErrors() { SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous_); }
  ~QuietDriveErrors() { SetThreadErrorMode(previous_, nullptr); }
  QuietDriveErrors(const QuietDriveErrors&) = delete;
  QuietDriveErrors& operator=(const QuietDriveErrors&) = delete;

 private:
  DWORD previous_ = 0;
};

HANDLE OpenFile(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
  return CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool FileExists(const std::string& path) {
  const HANDLE file = OpenFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

// A file can be created at `path`, or one is there already and opens for
// writing (then the last error is ERROR_FILE_EXISTS). Nothing is left behind.
bool CanCreate(const std::string& path) {
  if (!FileExists(path) && GetLastError() != ERROR_FILE_NOT_FOUND) return false;
  HANDLE file = OpenFile(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    DeleteFileA(path.c_str());
    return true;
  }
  if (GetLastError() != ERROR_FILE_EXISTS) return false;
  file = OpenFile(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  SetLastError(ERROR_FILE_EXISTS);
  return true;
}

// The file test: the path fits, and the file exists (open modes) or can be
// created (create mode); the path is then the result.
bool TryPath(const std::string& candidate, char (&path)[kContainerPathSize], int fileMode) {
  if (candidate.size() > kPathMax) return false;
  bool found = false;
  if (fileMode == kCreateContainerFile) {
    found = CanCreate(candidate);
  } else if (fileMode == kOpenContainerFile || fileMode == kOpenContainerFile2) {
    found = FileExists(candidate);
  }
  if (found) std::memcpy(path, candidate.c_str(), candidate.size() + 1);
  return found;
}

const char* LastComponent(const char* name) {
  const char* slash = std::strrchr(name, '\\');
  return slash ? slash + 1 : name;
}

bool StartsWithDrive(const char* name) {
  return std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':' && name[2] == '\\';
}

// The drive test: the name's directories under the drive's root, then the
// name's last component in the root.
bool TryDrive(const Drive& drive, const DriveList& drives, const char* name, char (&path)[kContainerPathSize],
              int fileMode) {
  if (!drives.HasMedium(drive)) return false;
  if (IsFullPath(name) && StartsWithDrive(name) && TryPath(drive.root + (name + 3), path, fileMode)) return true;
  return TryPath(drive.root + LastComponent(name), path, fileMode);
}

bool IsFloppyLetter(char letter, char floppy) {
  return std::toupper(static_cast<unsigned char>(letter)) == floppy;
}

bool SearchDrives(const DriveList& drives, const char* name, char (&path)[kContainerPathSize], int fileMode) {
  const std::vector<Drive> listed = drives.List();
  for (const Drive& drive : listed) {
    if (drive.type == DRIVE_FIXED && TryDrive(drive, drives, name, path, fileMode)) return true;
  }
  for (const Drive& drive : listed) {
    const bool removable = drive.type == DRIVE_REMOVABLE || drive.type == DRIVE_CDROM;
    if (removable && !IsFloppyLetter(drive.letter, 'A') && !IsFloppyLetter(drive.letter, 'B') &&
        TryDrive(drive, drives, name, path, fileMode)) {
      return true;
    }
  }
  for (const char floppy : {'A', 'B'}) {
    for (const Drive& drive : listed) {
      if (IsFloppyLetter(drive.letter, floppy) && TryDrive(drive, drives, name, path, fileMode)) return true;
    }
  }
  return false;
}

bool SearchPathFor(const char* name, char (&path)[kContainerPathSize], int fileMode) {
  char found[kContainerPathSize] = {};
  const DWORD length = SearchPathA(nullptr, name, nullptr, sizeof found, found, nullptr);
  return length > 0 && length <= kPathMax && TryPath(found, path, fileMode);
}

bool Search(const char* name, char (&path)[kContainerPathSize], int fileMode, const DriveList& drives) {
  if (IsFullPath(name) && TryPath(name, path, fileMode)) return true;
  if (fileMode != kOpenContainerFile && fileMode != kOpenContainerFile2) return false;
  return SearchPathFor(name, path, fileMode) || SearchDrives(drives, name, path, fileMode);
}

class SystemDriveList : public DriveList {
 public:
  std::vector<Drive> List() const override {
    std::vector<Drive> drives;
    const DWORD mask = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
      if (!(mask & (1u << i))) continue;
      const char letter = static_cast<char>('A' + i);
      std::string root = std::string(1, letter) + ":\\";
      const UINT type = GetDriveTypeA(root.c_str());
      drives.push_back({letter, std::move(root), type});
    }
    return drives;
  }

  bool HasMedium(const Drive& drive) const override {
    const QuietDriveErrors quiet;
    return GetVolumeInformationA(drive.root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0) != FALSE;
  }
};

}  // namespace

bool MakeContainerName(const char* name, char (&out)[kContainerNameSize]) {
  out[0] = '\0';
  if (!name) return false;
  const std::size_t length = strnlen(name, kContainerNameSize);
  const bool needsExtension =
      length > kExtensionLength && _stricmp(name + length - kExtensionLength, kExtension) != 0;
  const std::size_t total = length + (needsExtension ? kExtensionLength : 0);
  if (total >= kContainerNameSize) return false;
  std::memcpy(out, name, length);
  std::memcpy(out + length, kExtension, needsExtension ? kExtensionLength : 0);
  out[total] = '\0';
  return true;
}

bool IsFullPath(const char* name) {
  if (!name) return false;
  if (name[0] == '\\' && name[1] == '\\') return true;
  return std::strlen(name) >= 4 && StartsWithDrive(name);
}

const DriveList& SystemDrives() {
  static const SystemDriveList drives;
  return drives;
}

bool check_container(const char* name, char (&path)[kContainerPathSize], int fileMode, const DriveList& drives) {
  WriteLog(LogTrace, "check_container", "1. %s. %d.", name ? name : "", fileMode);
  path[0] = '\0';
  const QuietDriveErrors quiet;
  const bool found = name && *name && Search(name, path, fileMode, drives);
  if (!found) path[0] = '\0';
  WriteLog(LogTrace, "check_container", "2. %d. %s.", found ? 1 : 0, path);
  return found;
}

}  // namespace tv::token
