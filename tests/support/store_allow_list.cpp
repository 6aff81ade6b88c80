#include "tests/support/store_allow_list.h"

#include <windows.h>

#include <cstdio>

#include "tests/support/isolation.h"

namespace tvtest {
namespace {

constexpr const char* kSection = "[tv_cstore]";

bool WriteText(const std::string& path, const std::string& text) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

// `text` without its "tv_cstore" sections (each up to the next section).
std::string WithoutSection(const std::string& text) {
  std::string kept;
  bool inSection = false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    const std::string line = text.substr(start, end - start);
    if (line.rfind('[', 0) == 0) inSection = line.rfind(kSection, 0) == 0;
    if (!inSection) kept += line;
    start = end;
  }
  return kept;
}

}  // namespace

StoreAllowList::StoreAllowList() {
  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, MAX_PATH);
  path_ = std::string(windows) + "\\win.ini";
  original_ = ReadFileText(path_);
}

StoreAllowList::~StoreAllowList() { WriteText(path_, original_); }

bool StoreAllowList::Allow(const std::string& entry) {
  // Written into the file itself: the profile functions keep no line
  // without "=", which is what an entry is.
  std::string text = WithoutSection(original_);
  if (!entry.empty()) text += std::string("\r\n") + kSection + "\r\n" + entry + "\r\n";
  return WriteText(path_, text);
}

}  // namespace tvtest
