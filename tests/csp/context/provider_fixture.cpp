#include "tests/csp/context/provider_fixture.h"

#include "csp/storage/password_cache.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/isolation.h"
#include "tests/support/window_script.h"

namespace tvtest {
namespace {

std::string ContainerKeyPath(const std::string& name, bool machine) {
  return std::string("Software\\Microsoft\\Cryptography\\") + (machine ? "MachineKeys\\" : "UserKeys\\") + name;
}

HKEY RootFor(bool machine) { return machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

}  // namespace

bool CreateContainer(const std::string& name, DWORD flags, int answer, HCRYPTPROV& provider,
                     std::string* question) {
  if (question) question->clear();
  WindowScript script(kCreateCaption, {PressButton(answer, question)});
  const BOOL ok = CryptAcquireContextA(&provider, name.c_str(), kOurProvider, PROV_RSA_FULL,
                                       flags | CRYPT_NEWKEYSET);
  const DWORD error = GetLastError();
  script.Finish();
  SetLastError(error);
  return ok != FALSE;
}

// Only a container with a registry key is deleted through the provider: for
// any other name the provider would ask for the Key that might hold it.
ContainerCleanup::~ContainerCleanup() {
  for (const auto& [name, machine] : names_) {
    HKEY key = nullptr;
    const std::string path = ContainerKeyPath(name, machine != 0);
    const HKEY root = RootFor(machine != 0);
    const bool inRegistry = RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (key) RegCloseKey(key);
    HCRYPTPROV provider = 0;
    if (inRegistry &&
        CryptAcquireContextA(&provider, name.c_str(), kOurProvider, PROV_RSA_FULL, CRYPT_DELETEKEYSET | machine))
      continue;
    // A container left unreadable (a test that removed its cache entry, or
    // a failed test) is removed by hand.
    DeleteRegistryTree(root, path);
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
  std::vector<std::pair<std::string, DWORD>> values;
  HKEY key;
  if (RegOpenKeyExA(RootFor(machine), ContainerKeyPath(name, machine).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
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
