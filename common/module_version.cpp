#include "common/module_version.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace tv {
namespace {

std::string ModulePath(HMODULE module, const char* searchName) {
  char path[MAX_PATH] = {};
  DWORD length = 0;
  if (module || !searchName) {
    length = GetModuleFileNameA(module, path, MAX_PATH - 1);
  } else {
    length = SearchPathA(nullptr, searchName, nullptr, MAX_PATH - 1, path, nullptr);
  }
  if (length == 0 || length >= MAX_PATH - 1) return {};
  return std::string(path, length);
}

bool QueryString(std::vector<char>& block, const char* subBlock, std::string& out) {
  char* value = nullptr;
  UINT size = 0;
  if (!VerQueryValueA(block.data(), subBlock, reinterpret_cast<void**>(&value), &size) || !value ||
      size == 0)
    return false;
  out.assign(value, strnlen(value, size));
  return true;
}

void ReadStrings(std::vector<char>& block, ModuleVersionInfo& info) {
  WORD* translation = nullptr;
  UINT size = 0;
  if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &size) ||
      size < 2 * sizeof(WORD))
    return;
  const struct {
    const char* name;
    std::string ModuleVersionInfo::*field;
  } values[] = {{"FileDescription", &ModuleVersionInfo::fileDescription},
                {"ProductName", &ModuleVersionInfo::productName},
                {"ProductVersion", &ModuleVersionInfo::productVersion},
                {"LegalCopyright", &ModuleVersionInfo::legalCopyright}};
  for (const auto& v : values) {
    char subBlock[128];
    snprintf(subBlock, sizeof subBlock, "\\StringFileInfo\\%04x%04x\\%s", translation[0],
             translation[1], v.name);
    QueryString(block, subBlock, info.*v.field);
  }
}

}  // namespace

std::string FormatFileVersion(DWORD versionMs, DWORD versionLs) {
  char text[64];
  const unsigned major = HIWORD(versionMs), minor = LOWORD(versionMs);
  int used = snprintf(text, sizeof text, minor < 10 ? "%u.0%u" : "%u.%u", major, minor);
  if (LOWORD(versionLs) != 0) {
    snprintf(text + used, sizeof text - used, ".%u.%u", HIWORD(versionLs), LOWORD(versionLs));
  } else if (HIWORD(versionLs) != 0) {
    snprintf(text + used, sizeof text - used, ".%u", HIWORD(versionLs));
  }
  return text;
}

ModuleVersionInfo ReadModuleVersion(HMODULE module, const char* searchName) {
  ModuleVersionInfo info;
  const std::string path = ModulePath(module, searchName);
  if (path.empty()) return info;
  info.moduleFileName = path;

  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return info;
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return info;

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  if (VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize) && fixed &&
      fixedSize >= sizeof *fixed)
    info.fileVersion = FormatFileVersion(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
  ReadStrings(block, info);
  return info;
}

}  // namespace tv
