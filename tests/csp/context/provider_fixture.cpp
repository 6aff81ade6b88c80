#include "tests/csp/context/provider_fixture.h"

#include "csp/storage/password_cache.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/isolation.h"

namespace tvtest {

bool CreateContainer(const std::string& name, DWORD flags, int answer, HCRYPTPROV& provider,
                     std::string* question) {
  auto driven = DriveWindowAsync({kCreateCaption}, [answer](HWND box, const WindowSnapshot&) {
    DialogDriver::Press(box, answer);
  });
  const BOOL ok = CryptAcquireContextA(&provider, name.c_str(), kOurProvider, PROV_RSA_FULL,
                                       flags | CRYPT_NEWKEYSET);
  const DWORD error = GetLastError();
  const WindowSnapshot seen = driven.get();
  if (question) *question = seen.hwnd ? seen.MessageText() : "";
  SetLastError(error);
  return ok != FALSE;
}

ContainerCleanup::~ContainerCleanup() {
  for (const auto& [name, machine] : names_) {
    HCRYPTPROV provider = 0;
    if (CryptAcquireContextA(&provider, name.c_str(), kOurProvider, PROV_RSA_FULL, CRYPT_DELETEKEYSET | machine))
      continue;
    // A container left unreadable (a test that removed its cache entry, or
    // a failed test) is removed by hand.
    DeleteRegistryTree(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                       std::string("Software\\Microsoft\\Cryptography\\") + (machine ? "MachineKeys\\" : "UserKeys\\") + name);
    if (tv::csp::AcquirePasswordCache()) {
      tv::csp::RemoveContainerPassword(name.c_str());
      tv::csp::ReleasePasswordCache();
    }
  }
}

std::string ContainerCleanup::Add(const std::string& prefix, DWORD machineFlag) {
  names_.emplace_back(UniqueName(prefix), machineFlag);
  return names_.back().first;
}

std::vector<std::pair<std::string, DWORD>> ContainerValues(const std::string& name, bool machine) {
  const std::string path = std::string("Software\\Microsoft\\Cryptography\\") +
                           (machine ? "MachineKeys\\" : "UserKeys\\") + name;
  std::vector<std::pair<std::string, DWORD>> values;
  HKEY key;
  if (RegOpenKeyExA(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return values;
  for (DWORD index = 0;; ++index) {
    char valueName[256];
    DWORD nameLength = sizeof valueName, size = 0;
    if (RegEnumValueA(key, index, valueName, &nameLength, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
      break;
    values.emplace_back(valueName, size);
  }
  RegCloseKey(key);
  return values;
}

}  // namespace tvtest
