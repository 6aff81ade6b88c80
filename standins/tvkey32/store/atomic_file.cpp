#include "standins/tvkey32/store/atomic_file.h"

namespace tv::keysim {
namespace {

class FileHandle {
 public:
  explicit FileHandle(HANDLE h) : h_(h) {}
  ~FileHandle() {
    if (Valid()) CloseHandle(h_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return h_; }

 private:
  HANDLE h_;
};

bool IsMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// Another process may hold the target open for a moment (a reader, or a
// program testing the file); the rename is retried for about a second.
bool IsTransient(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
}

DWORD WriteSideFile(const std::string& path, std::span<const std::uint8_t> bytes) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
  if (!file.Valid()) return GetLastError();
  DWORD written = 0;
  if (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
    return GetLastError();
  }
  if (written != bytes.size()) return ERROR_WRITE_FAULT;
  if (!FlushFileBuffers(file.Get())) return GetLastError();
  return 0;
}

DWORD RenameOver(const std::string& from, const std::string& to) {
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
    const DWORD error = GetLastError();
    if (!IsTransient(error) || attempt == 100) return error;
    Sleep(10);
  }
}

}  // namespace

FileImage ReadWholeFile(const std::string& path, std::size_t maxSize) {
  FileImage image;
  FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    image.error = GetLastError();
    image.result = IsMissing(image.error) ? FileRead::Missing : FileRead::Error;
    return image;
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.Get(), &size)) {
    image.error = GetLastError();
    image.result = FileRead::Error;
    return image;
  }
  if (static_cast<unsigned long long>(size.QuadPart) > maxSize) {
    image.result = FileRead::TooLarge;
    return image;
  }
  image.bytes.resize(static_cast<std::size_t>(size.QuadPart));
  DWORD read = 0;
  if (!ReadFile(file.Get(), image.bytes.data(), static_cast<DWORD>(image.bytes.size()), &read, nullptr)) {
    image.error = GetLastError();
    image.result = FileRead::Error;
    return image;
  }
  image.bytes.resize(read);
  image.result = FileRead::Ok;
  return image;
}

DWORD ReplaceFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
  const std::string side = path + ".tmp";
  DWORD error = WriteSideFile(side, bytes);
  if (error == 0) error = RenameOver(side, path);
  if (error != 0) DeleteFileA(side.c_str());
  return error;
}

DWORD EnsureDirectory(const std::string& path) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return 0;
  DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS) return 0;
  if (error != ERROR_PATH_NOT_FOUND) return error;
  const std::size_t cut = path.find_last_of('\\');
  if (cut == std::string::npos || cut == 0) return error;
  error = EnsureDirectory(path.substr(0, cut));
  if (error != 0) return error;
  return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS ? 0 : GetLastError();
}

}  // namespace tv::keysim
