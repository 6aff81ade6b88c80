// Reads a module's version resource for the log header and the provider's
// version parameter.
#pragma once
#include <windows.h>

#include <string>

namespace tv {

// Every text starts as "Unknown" and is replaced by what the module has.
struct ModuleVersionInfo {
  std::string fileVersion = "Unknown";
  std::string moduleFileName = "Unknown";
  std::string fileDescription = "Unknown";
  std::string productName = "Unknown";
  std::string productVersion = "Unknown";
  std::string legalCopyright = "Unknown";
};

// The module's own file (module non-null), else the file found by
// SearchPathA for `searchName`, else the host executable.
ModuleVersionInfo ReadModuleVersion(HMODULE module, const char* searchName);

// "major.0minor" below 10 ("2.05"), else "major.minor", then ".a.b" from the
// low double word when its low word is set, or ".a" when only its high one is.
std::string FormatFileVersion(DWORD versionMs, DWORD versionLs);

}  // namespace tv
