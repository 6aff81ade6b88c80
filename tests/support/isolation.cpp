#include "tests/support/isolation.h"

#include <atomic>
#include <cstdio>
#include <random>

namespace tvtest {

std::string UniqueName(const std::string& prefix) {
  static std::atomic<unsigned> counter{0};
  static const unsigned salt = std::random_device{}();
  char text[96];
  snprintf(text, sizeof text, "%lu-%u-%08x", GetCurrentProcessId(), ++counter, salt);
  return prefix + text;
}

TempDir::TempDir() {
  char base[MAX_PATH];
  const DWORD length = GetTempPathA(MAX_PATH, base);
  std::string root = (length > 0 && length < MAX_PATH) ? std::string(base, length) : ".\\";
  path_ = root + UniqueName("tvtest-");
  CreateDirectoryA(path_.c_str(), nullptr);
}

namespace {

void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = dir + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryA(dir.c_str());
}

}  // namespace

TempDir::~TempDir() { RemoveTree(path_); }

RegistrySandbox::RegistrySandbox(HKEY root)
    : root_(root), subkey_("Software\\TavrinTests\\" + UniqueName("sandbox-")) {
  RegCreateKeyExA(root_, subkey_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
}

RegistrySandbox::~RegistrySandbox() {
  if (key_) RegCloseKey(key_);
  DeleteRegistryTree(root_, subkey_);
}

bool DeleteRegistryTree(HKEY root, const std::string& subkey) {
  const LONG error = RegDeleteTreeA(root, subkey.c_str());
  if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return false;
  const LONG removed = RegDeleteKeyA(root, subkey.c_str());
  return removed == ERROR_SUCCESS || removed == ERROR_FILE_NOT_FOUND;
}

std::string ProgramDirectory() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string full(path, length < MAX_PATH ? length : 0);
  return full.substr(0, full.find_last_of('\\'));
}

std::string ReadFileText(const std::string& path) {
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return {};
  std::string text;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
  fclose(file);
  return text;
}

}  // namespace tvtest
