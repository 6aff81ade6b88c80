// key_signer <container> <signature file>: opens a container of our provider
// silently in a process of its own (so it can never show a window), signs
// the message "signed on the Key" with SHA-1 and the signature pair, and
// writes the signature to the file. Exit code 0 on success, else the step
// that failed.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const char kProvider[] = "Tavrin RSA Cryptographic Provider v1.0";
const char kMessage[] = "signed on the Key";

int Fail(int step, const char* what) {
  printf("%s failed: %08lX\n", what, GetLastError());
  return step;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextA(&provider, argv[1], kProvider, PROV_RSA_FULL, CRYPT_SILENT))
    return Fail(3, "CryptAcquireContext");
  HCRYPTHASH hash = 0;
  DWORD size = 0;
  std::vector<BYTE> signature;
  const bool hashed = CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash) &&
                      CryptHashData(hash, reinterpret_cast<const BYTE*>(kMessage), strlen(kMessage), 0);
  if (!hashed || !CryptSignHashA(hash, AT_SIGNATURE, nullptr, 0, nullptr, &size)) return Fail(4, "signing");
  signature.resize(size);
  if (!CryptSignHashA(hash, AT_SIGNATURE, nullptr, 0, signature.data(), &size)) return Fail(4, "signing");
  CryptDestroyHash(hash);
  CryptReleaseContext(provider, 0);
  FILE* out = fopen(argv[2], "wb");
  if (!out) return Fail(5, "opening the signature file");
  const bool written = fwrite(signature.data(), 1, size, out) == size;
  return fclose(out) == 0 && written ? 0 : Fail(5, "writing the signature file");
}
