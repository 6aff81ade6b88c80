// Container files: a Key's container kept in a file with the extension
// ".tva" on any drive, which the token library opens as a Key in a reader of
// its own. These routines name such a file and find it: first as given, then
// along the search path and on the drives, fixed disks first and floppies
// last, so that a floppy is touched only when no other drive holds the file.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace tv::token {

inline constexpr std::size_t kContainerNameSize = 256;  // 255 characters with ".tva"
inline constexpr std::size_t kContainerPathSize = 260;  // 259 characters

// How the file is looked for: an existing file (0 and 2), or a place where
// one can be created (1, full paths only).
enum ContainerFileMode : int { kOpenContainerFile = 0, kCreateContainerFile = 1, kOpenContainerFile2 = 2 };

// The container name for `name`: a name longer than four characters that
// does not end in ".tva" (in any case) gets ".tva" appended; shorter names
// are used as they are. False, with "" in `out`, when the name (with the
// extension it needs) does not fit into 255 characters: a name is refused
// rather than cut into another name.
bool MakeContainerName(const char* name, char (&out)[kContainerNameSize]);

// "X:\..." (at least four characters) or "\\...".
bool IsFullPath(const char* name);

// One logical drive: its letter, the root the search appends names to
// ("X:\" on the system) and its type (DRIVE_FIXED, DRIVE_REMOVABLE, ...).
struct Drive {
  char letter;
  std::string root;
  UINT type;
};

// The drives the search looks at. Tests give a table of their own.
class DriveList {
 public:
  virtual ~DriveList() = default;
  virtual std::vector<Drive> List() const = 0;
  // Whether the drive holds a medium (its volume can be read); asked only
  // when the search reaches the drive.
  virtual bool HasMedium(const Drive& drive) const = 0;
};

// The system's logical drives, without any system error box for a drive
// without a medium.
const DriveList& SystemDrives();

// Looks for the container `name` as the file mode says and puts the full
// path found (at most 259 characters) into `path`; false, with "" in `path`,
// when there is none.
bool check_container(const char* name, char (&path)[kContainerPathSize], int fileMode,
                     const DriveList& drives = SystemDrives());

}  // namespace tv::token
