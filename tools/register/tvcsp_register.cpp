// tvcsp-register: registers the provider with CryptoAPI, or removes it.
//   tvcsp-register install [path-to-tvcsp.dll]   (default: tvcsp.dll beside this tool)
//   tvcsp-register uninstall
// Exit codes: 0 done, 1 usage, 2 failed.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "csp/front/provider_identity.h"

namespace {

const std::string kProviderKey =
    std::string("SOFTWARE\\Microsoft\\Cryptography\\Defaults\\Provider\\") + tv::csp::kProviderName;

int Usage() {
  fprintf(stderr,
          "usage: tvcsp-register install [path-to-tvcsp.dll]\n"
          "       tvcsp-register uninstall\n"
          "Registers \"%s\" (type %u) with CryptoAPI, or removes it.\n",
          tv::csp::kProviderName, tv::csp::kProviderType);
  return 1;
}

int Failed(const char* what, LONG error) {
  char text[256] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
  fprintf(stderr, "tvcsp-register: %s failed: error %ld %s\n", what, error, text);
  return 2;
}

std::string DefaultImagePath() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  std::string image(path, length);
  return image.substr(0, image.find_last_of('\\') + 1) + "tvcsp.dll";
}

std::string FullPath(const std::string& path) {
  char full[MAX_PATH];
  const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  return (length == 0 || length >= MAX_PATH) ? path : std::string(full, length);
}

int Install(std::string image) {
  if (image.empty()) image = DefaultImagePath();
  image = FullPath(image);
  if (GetFileAttributesA(image.c_str()) == INVALID_FILE_ATTRIBUTES) {
    fprintf(stderr, "tvcsp-register: %s does not exist\n", image.c_str());
    return 2;
  }
  HKEY key;
  LONG error = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProviderKey.c_str(), 0, nullptr, 0,
                               KEY_SET_VALUE, nullptr, &key, nullptr);
  if (error != ERROR_SUCCESS) return Failed("creating the provider key", error);
  const DWORD type = tv::csp::kProviderType, sigInFile = 0;
  error = RegSetValueExA(key, "Image Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(image.c_str()),
                         static_cast<DWORD>(image.size() + 1));
  if (error == ERROR_SUCCESS)
    error = RegSetValueExA(key, "Type", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&type), sizeof type);
  if (error == ERROR_SUCCESS)
    error = RegSetValueExA(key, "SigInFile", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&sigInFile),
                           sizeof sigInFile);
  RegCloseKey(key);
  if (error != ERROR_SUCCESS) return Failed("writing the provider values", error);
  printf("registered \"%s\" -> %s\n", tv::csp::kProviderName, image.c_str());
  return 0;
}

int Uninstall() {
  const LONG error = RegDeleteTreeA(HKEY_LOCAL_MACHINE, kProviderKey.c_str());
  if (error == ERROR_FILE_NOT_FOUND) {
    printf("\"%s\" was not registered\n", tv::csp::kProviderName);
    return 0;
  }
  if (error != ERROR_SUCCESS) return Failed("removing the provider key", error);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kProviderKey.c_str());
  printf("removed \"%s\"\n", tv::csp::kProviderName);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && strcmp(argv[1], "install") == 0 && argc <= 3)
    return Install(argc == 3 ? argv[2] : "");
  if (argc == 2 && strcmp(argv[1], "uninstall") == 0) return Uninstall();
  return Usage();
}
