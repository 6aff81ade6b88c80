// container_probe <container> <exchange bits> <signature bits> [dll dir]:
// opens an existing container of our provider in a process of its own and
// checks that both pairs are there with these lengths (0: the pair is
// absent). A DLL directory is searched before the system's (for a
// stand-in of a system library). Exit code 0 when all holds, else the step
// that failed.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstdlib>

namespace {

const char kProvider[] = "Tavrin RSA Cryptographic Provider v1.0";

int CheckPair(HCRYPTPROV provider, DWORD keySpec, DWORD bits, ALG_ID algorithm) {
  HCRYPTKEY key = 0;
  if (!CryptGetUserKey(provider, keySpec, &key)) {
    const DWORD error = GetLastError();
    if (bits == 0 && error == static_cast<DWORD>(NTE_NO_KEY)) return 0;
    printf("CryptGetUserKey(%lu) failed: %08lX\n", keySpec, error);
    return 10 + static_cast<int>(keySpec);
  }
  DWORD length = 0, size = sizeof length;
  ALG_ID found = 0;
  DWORD foundSize = sizeof found;
  const bool ok = CryptGetKeyParam(key, KP_KEYLEN, reinterpret_cast<BYTE*>(&length), &size, 0) &&
                  CryptGetKeyParam(key, KP_ALGID, reinterpret_cast<BYTE*>(&found), &foundSize, 0);
  CryptDestroyKey(key);
  if (!ok || length != bits || found != algorithm) {
    printf("pair %lu: %lu bits, algorithm %08X\n", keySpec, length, found);
    return 20 + static_cast<int>(keySpec);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) return 2;
  if (argc == 5) SetDllDirectoryA(argv[4]);
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextA(&provider, argv[1], kProvider, PROV_RSA_FULL, CRYPT_SILENT)) {
    printf("open failed: %08lX\n", GetLastError());
    return 3;
  }
  const DWORD exchangeBits = strtoul(argv[2], nullptr, 10), signatureBits = strtoul(argv[3], nullptr, 10);
  int result = CheckPair(provider, AT_KEYEXCHANGE, exchangeBits, CALG_RSA_KEYX);
  if (result == 0) result = CheckPair(provider, AT_SIGNATURE, signatureBits, CALG_RSA_SIGN);
  CryptReleaseContext(provider, 0);
  return result;
}
