// CSmartKey_GUI_Ex: the provider's Key session. Beside the Keys in readers,
// a key container may live in a container file (".tva") on any drive, which
// the token library opens as a Key in a reader of its own. OpenCard looks for
// such a file first, at every look while it waits; and, with the provider's
// "Mode" 1, a new container meant for a disk-drive reader becomes a file in
// the root of that drive.
#pragma once
#include <windows.h>

#include "token/container_file.h"
#include "token/key_session.h"

namespace tv::token {

// The mode argument of OpenCard: the top bit makes the call silent, the rest
// is the container file mode.
inline constexpr DWORD kSilentMode = 0x80000000u;

class CSmartKey_GUI_Ex : public CSmartKey_GUI {
 public:
  explicit CSmartKey_GUI_Ex(const char* moduleName, const SmartKeyOptions& options = kProviderSmartKey);
  ~CSmartKey_GUI_Ex() override;

  // True also when the object was initialised before (a repeated call).
  bool Initialize(int applicationId) override;

  // Opens the Key (or container file) for `containerName`: the reader
  // handle, or -1 with the last error set. A name longer than four
  // characters gets ".tva" unless it ends in it; a name that cannot take the
  // extension within 255 characters is refused (ERROR_FILENAME_EXCED_RANGE).
  // With file mode 1, a container file found creatable is created empty once
  // the Key session succeeds on it.
  int OpenCard(HINSTANCE resources, HWND owner, const char* caption, int flags, const char* containerName, DWORD mode,
               const char* pin, const char* line114);

  int ReleaseCard(int reader, int flag) override;
  int CheckReaders(int first, int end) override;
  int EnumCards(int* table, int flags) override;

  // The provider's "Mode" 1: a new container meant for a disk-drive reader
  // goes to a file in the root of its drive.
  void SetDiskRedirection(bool on) { diskRedirection_ = on; }
  // The drives the container search looks at (the system's unless a test
  // gives its own table).
  void SetDrives(const DriveList& drives) { drives_ = &drives; }

  // The container file of the last OpenCard ("" when it opened no file).
  const char* ContainerPath() const { return containerPath_; }
  int LastResult() const { return lastResult_; }

 private:
  int OpenContainerFile();
  int RedirectToDriveRoot(int status);

  int lastResult_ = -1;
  char containerName_[kContainerNameSize] = {};
  char containerPath_[kContainerPathSize] = {};
  int fileReader_ = -1;
  int fileMode_ = kOpenContainerFile;
  bool diskRedirection_ = false;
  const DriveList* drives_ = &SystemDrives();
};

}  // namespace tv::token
