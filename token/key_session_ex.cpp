#include "token/key_session_ex.h"

#include <cstring>
#include <string>

#include "common/trace_log.h"
#include "token/bounded_text.h"

namespace tv::token {
namespace {

constexpr const char* kLabel = "CSmartKey_GUI_Ex:";
constexpr std::size_t kDriveRootLength = 3;  // "X:\" at the end of a disk-drive reader's name

bool FileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

void CreateEmptyFile(const char* path) {
  const HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

}  // namespace

CSmartKey_GUI_Ex::CSmartKey_GUI_Ex(const char* moduleName, const SmartKeyOptions& options)
    : CSmartKey_GUI(options, moduleName) {}

CSmartKey_GUI_Ex::~CSmartKey_GUI_Ex() {
  WriteLog(LogTrace, kLabel, "~CSmartKey_GUI_Ex. 1. %08X.", static_cast<unsigned>(GetLastError()));
  if (fileReader_ != -1) Library().CloseReader(fileReader_);
}

bool CSmartKey_GUI_Ex::Initialize(int applicationId) {
  if (CSmartKey_GUI::Initialize(applicationId)) return true;
  WriteLog(LogError, kLabel, "CSmartKey_GUI_Ex::Initialize. 2. %d.", static_cast<int>(GetLastError()));
  return IsInitialized();
}

int CSmartKey_GUI_Ex::OpenCard(HINSTANCE resources, HWND owner, const char* caption, int flags,
                               const char* containerName, DWORD mode, const char* pin, const char* line114) {
  const std::lock_guard<std::recursive_mutex> hold(sessionLock_);
  lastResult_ = -1;
  containerPath_[0] = '\0';
  WriteLog(LogTrace, kLabel, "CSmartKey_GUI_Ex::OpenCard. 1. %s.", containerName ? containerName : "");
  silent_ = (mode & kSilentMode) != 0;
  fileMode_ = static_cast<int>(mode & ~kSilentMode);
  if (!MakeContainerName(containerName ? containerName : "", containerName_)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return -1;
  }
  lastResult_ = CSmartKey_GUI::OpenCard(resources, owner, caption, flags, containerName_, pin, line114);
  const DWORD error = GetLastError();
  WriteLog(LogTrace, kLabel, "CSmartKey_GUI_Ex::OpenCard. 3. %d.", lastResult_);
  if (lastResult_ != -1 && lastResult_ == fileReader_ && !FileExists(containerPath_)) {
    CreateEmptyFile(containerPath_);
    WriteLog(LogTrace, kLabel, "CSmartKey_GUI_Ex::OpenCard. 4. %s.", containerPath_);
  }
  SetLastError(error);
  return lastResult_;
}

int CSmartKey_GUI_Ex::ReleaseCard(int reader, int flag) {
  CSmartKey_GUI::ReleaseCard(reader, flag);
  if (fileReader_ == -1 || flag != 0) return fileReader_;
  Library().CloseReader(fileReader_);
  fileReader_ = -1;
  containerPath_[0] = '\0';
  return 0;
}

int CSmartKey_GUI_Ex::OpenContainerFile() {
  fileReader_ = Library().InitReader(containerPath_);
  if (fileReader_ == -1) return tvkey32::kStatusNoKey;
  WriteLog(LogTrace, kLabel, "CheckReaders. 2. %s.", containerPath_);
  SetChosenReader(fileReader_);
  return Library().InitCard(fileReader_, SessionApplicationId());
}

int CSmartKey_GUI_Ex::CheckReaders(int first, int end) {
  if (fileReader_ != -1) ReleaseCard(fileReader_, 0);
  if (check_container(containerName_, containerPath_, fileMode_, *drives_)) {
    const int status = OpenContainerFile();
    if (fileReader_ != -1) return status;
  }
  containerPath_[0] = '\0';
  const int status = CSmartKey_GUI::CheckReaders(first, end);
  if (diskRedirection_ && status >= 0 && fileMode_ == kCreateContainerFile) return RedirectToDriveRoot(status);
  return status;
}

// A new container meant for a disk-drive reader goes to a file in the root
// of that drive. The reader itself stays open: its handle belongs to the
// reader list, which closes it when the reader goes away.
int CSmartKey_GUI_Ex::RedirectToDriveRoot(int status) {
  const int chosen = ChosenReader();
  const char* name = Library().GetReaderName(chosen);
  if (!name || Library().GetReaderType(name) != tvkey32::kReaderDiskDrive) return status;
  const std::size_t length = strnlen(name, kReaderNameKept + 1);
  if (length < kDriveRootLength) return status;
  const std::string path = std::string(name + length - kDriveRootLength) + containerName_;
  WriteLog(LogTrace, kLabel, "CheckReaders. 6. %s.", path.c_str());
  CSmartKey_GUI::ReleaseCard(chosen, 0);
  if (path.size() >= sizeof containerPath_) {
    SetChosenReader(-1);
    return tvkey32::kStatusNoKey;  // no room for the path: the drive is not used
  }
  CopyBounded(containerPath_, path.c_str());
  const int fileStatus = OpenContainerFile();
  WriteLog(LogTrace, kLabel, "CheckReaders. 7. %d.", fileStatus);
  return fileStatus;
}

int CSmartKey_GUI_Ex::EnumCards(int* table, int flags) {
  if (check_container(containerName_, containerPath_, fileMode_, *drives_)) {
    WriteLog(LogTrace, kLabel, "EnumCards. 2. %s.", containerPath_);
    table[0] = 1;
    return 1;
  }
  containerPath_[0] = '\0';
  return CSmartKey_GUI::EnumCards(table, flags);
}

}  // namespace tv::token
