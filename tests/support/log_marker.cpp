#include "tests/support/log_marker.h"

#include <windows.h>

#include <cstdio>

#include "tests/support/isolation.h"

namespace tvtest {

LogMarker::LogMarker(const std::string& tag) : tag_(tag), path_("C:\\TV_" + tag + ".log") {}

LogMarker::~LogMarker() {
  SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path_.c_str());
}

std::string LogMarker::Text() const { return ReadFileText(path_); }

bool LogMarker::Write(const std::string& content) const {
  FILE* file = fopen(path_.c_str(), "wb");
  if (!file) return false;
  const bool written = fwrite(content.data(), 1, content.size(), file) == content.size();
  return fclose(file) == 0 && written;
}

}  // namespace tvtest
