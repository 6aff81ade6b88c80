// Containers of our provider reached through the platform's CryptoAPI, each
// test with its own container names, removed afterwards.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

namespace tvtest {

inline constexpr const char* kOurProvider = "Tavrin RSA Cryptographic Provider v1.0";
inline constexpr const char* kCreateCaption = "Create Cryptographic key";

// Acquires a new container, answering the storage question with `answer`
// (IDYES, IDNO or IDCANCEL) through the dialog driver. `question` receives
// the text the message box showed (empty when none appeared).
bool CreateContainer(const std::string& name, DWORD flags, int answer, HCRYPTPROV& provider,
                     std::string* question = nullptr);

// Deletes every container it was given, quietly, when it goes.
class ContainerCleanup {
 public:
  ~ContainerCleanup();
  std::string Add(const std::string& prefix, DWORD machineFlag = 0);

 private:
  std::vector<std::pair<std::string, DWORD>> names_;
};

// The values of a container's registry key: name -> size in bytes.
std::vector<std::pair<std::string, DWORD>> ContainerValues(const std::string& name, bool machine = false);

}  // namespace tvtest
