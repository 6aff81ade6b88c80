// tvcstore-tool [--out FILE] COMMAND PARAMETER [CERTIFICATE [CONTAINER]]:
// uses the certificate store provider "tvcstore" only through crypt32, as an
// application does, opening the store with PARAMETER (TV_MY, TV_HKLM_CA or
// TV_HKLM_ROOT). Output goes to standard output, or to FILE. Commands:
//   list    one line per certificate: "common name|friendly name|container"
//   sign    signs with the private key of the store's first certificate,
//           verifies the signature with its public key, and prints the name
//           of the provider that signed
//   add     adds the DER certificate file to the store (with CONTAINER of
//           our provider as its key-provider information when not empty);
//           the provider accepts it only from the migration tool, a command
//           line holding "tvmover.cpl" (further arguments are ignored, so a
//           test can put that text there)
//   delete  deletes the store's first certificate (and so all of the Key's)
// The process must be allowed to use the Key: an entry of the "tv_cstore"
// section of win.ini that occurs in its command line, such as "tvcstore-tool".
// Exit code 0 on success, 2 for a usage error, else 0x10000 | the low 16
// bits of the last error (so that no error reads as success).
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

int Failed() { return 0x10000 | static_cast<int>(GetLastError() & 0xFFFF); }

std::string Narrow(const wchar_t* text) {
  char out[512] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, nullptr, nullptr);
  return out;
}

std::vector<BYTE> ReadAll(const char* path) {
  std::vector<BYTE> bytes;
  if (FILE* f = std::fopen(path, "rb")) {
    int c;
    while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<BYTE>(c));
    std::fclose(f);
  }
  return bytes;
}

int List(HCERTSTORE store, FILE* out) {
  for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(store, c)) != nullptr;) {
    char name[256] = {};
    CertGetNameStringA(c, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME), name, sizeof name);
    wchar_t friendly[256] = {};
    DWORD size = sizeof friendly;
    CertGetCertificateContextProperty(c, CERT_FRIENDLY_NAME_PROP_ID, friendly, &size);
    BYTE info[1024];
    size = sizeof info;
    std::string container;
    if (CertGetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, info, &size))
      container = Narrow(reinterpret_cast<CRYPT_KEY_PROV_INFO*>(info)->pwszContainerName);
    std::fprintf(out, "%s|%s|%s\n", name, Narrow(friendly).c_str(), container.c_str());
  }
  return 0;
}

int Sign(HCERTSTORE store, FILE* out) {
  PCCERT_CONTEXT certificate = CertEnumCertificatesInStore(store, nullptr);
  if (!certificate) return Failed();
  HCRYPTPROV provider = 0;
  DWORD keySpec = 0;
  BOOL mustFree = FALSE;
  if (!CryptAcquireCertificatePrivateKey(certificate, 0, nullptr, &provider, &keySpec, &mustFree)) return Failed();
  char providerName[256] = {};
  DWORD size = sizeof providerName;
  CryptGetProvParam(provider, PP_NAME, reinterpret_cast<BYTE*>(providerName), &size, 0);

  static const BYTE kData[] = "signed through the Key's certificate";
  HCRYPTHASH hash = 0;
  BYTE signature[1024];
  DWORD signatureLength = sizeof signature;
  if (!CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash) || !CryptHashData(hash, kData, sizeof kData, 0) ||
      !CryptSignHashA(hash, keySpec, nullptr, 0, signature, &signatureLength))
    return Failed();
  CryptDestroyHash(hash);

  HCRYPTPROV verifier = 0;
  HCRYPTKEY publicKey = 0;
  if (!CryptAcquireContextA(&verifier, nullptr, MS_ENHANCED_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) ||
      !CryptImportPublicKeyInfo(verifier, X509_ASN_ENCODING, &certificate->pCertInfo->SubjectPublicKeyInfo,
                                &publicKey) ||
      !CryptCreateHash(verifier, CALG_SHA1, 0, 0, &hash) || !CryptHashData(hash, kData, sizeof kData, 0) ||
      !CryptVerifySignatureA(hash, signature, signatureLength, publicKey, nullptr, 0))
    return Failed();
  std::fprintf(out, "%s\n", providerName);
  if (mustFree) CryptReleaseContext(provider, 0);
  return 0;
}

int Add(HCERTSTORE store, const char* file, const char* container) {
  const std::vector<BYTE> encoded = ReadAll(file);
  PCCERT_CONTEXT certificate = CertCreateCertificateContext(kEncoding, encoded.data(), static_cast<DWORD>(encoded.size()));
  if (!certificate) return Failed();
  if (container && *container) {
    std::wstring wide(container, container + strlen(container));
    wchar_t providerName[] = L"Tavrin RSA Cryptographic Provider v1.0";
    CRYPT_KEY_PROV_INFO info = {};
    info.pwszContainerName = wide.data();
    info.pwszProvName = providerName;
    info.dwProvType = PROV_RSA_FULL;
    info.dwKeySpec = AT_SIGNATURE;
    if (!CertSetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, 0, &info)) return Failed();
  }
  return CertAddCertificateContextToStore(store, certificate, CERT_STORE_ADD_NEW, nullptr) ? 0 : Failed();
}

int Delete(HCERTSTORE store) {
  PCCERT_CONTEXT certificate = CertEnumCertificatesInStore(store, nullptr);
  if (!certificate) return Failed();
  return CertDeleteCertificateFromStore(CertDuplicateCertificateContext(certificate)) ? 0 : Failed();
}

}  // namespace

int main(int argc, char** argv) {
  int first = 1;
  const char* outputFile = nullptr;
  if (argc > 2 && std::string(argv[1]) == "--out") {
    outputFile = argv[2];
    first = 3;
  }
  if (argc - first < 2) return 2;
  const std::string command = argv[first];
  const char* parameter = argv[first + 1];
  const char* certificateFile = argc - first > 2 ? argv[first + 2] : nullptr;
  const char* container = argc - first > 3 ? argv[first + 3] : nullptr;

  // Store providers are registered under encoding type 0, and crypt32 looks
  // the provider up under the encoding type given here.
  HCERTSTORE store = CertOpenStore("tvcstore", 0, 0, 0, parameter);
  if (!store) return Failed();
  FILE* out = outputFile ? std::fopen(outputFile, "wb") : stdout;
  if (!out) return 2;
  int result = 2;
  if (command == "list") result = List(store, out);
  if (command == "sign") result = Sign(store, out);
  if (command == "add" && certificateFile) result = Add(store, certificateFile, container);
  if (command == "delete") result = Delete(store);
  if (outputFile) std::fclose(out);
  CertCloseStore(store, 0);
  return result;
}
