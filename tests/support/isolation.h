// Per-test isolation: a fresh temporary directory, a fresh registry subtree
// and unique names, all removed when the test ends.
#pragma once
#include <windows.h>

#include <string>

#include "tests/support/child_process.h"

namespace tvtest {

// A name unique to this process and call: prefix + pid + counter + random.
std::string UniqueName(const std::string& prefix);

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }        // no trailing backslash
  std::string File(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// A registry subtree HKCU\Software\TavrinTests\<unique>, deleted with its
// contents at the end.
class RegistrySandbox {
 public:
  explicit RegistrySandbox(HKEY root = HKEY_CURRENT_USER);
  ~RegistrySandbox();
  RegistrySandbox(const RegistrySandbox&) = delete;
  RegistrySandbox& operator=(const RegistrySandbox&) = delete;
  HKEY Root() const { return root_; }
  const std::string& SubKey() const { return subkey_; }  // relative to Root()
  HKEY Key() const { return key_; }

 private:
  HKEY root_;
  std::string subkey_;
  HKEY key_ = nullptr;
};

// Deletes a registry key and everything under it; true when it is gone.
bool DeleteRegistryTree(HKEY root, const std::string& subkey);

// Full path of a file beside the running test program.
std::string ProgramDirectory();

// Whole contents of a file, or an empty string.
std::string ReadFileText(const std::string& path);

}  // namespace tvtest
