#include "migration/key_source.h"

#include <vector>

#include "common/trace_log.h"

namespace tv::migration {
namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

}  // namespace

bool KeyProviderInfo(PCCERT_CONTEXT certificate, std::vector<BYTE>* info) {
  DWORD size = 0;
  if (!CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size)) return false;
  info->assign(size, 0);
  if (!CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, info->data(), &size)) return false;
  if (size >= sizeof(CRYPT_KEY_PROV_INFO)) return true;
  SetLastError(static_cast<DWORD>(CRYPT_E_BAD_ENCODE));
  return false;
}

bool ToAnsi(const wchar_t* text, std::string* out) {
  char buffer[kNameBufferSize] = {};
  if (text && !WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr)) return false;
  *out = buffer;
  return true;
}

std::wstring ToWide(const std::string& text) {
  const int count = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(count > 0 ? static_cast<std::size_t>(count) : 1u, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), count);
  wide.resize(wide.size() - 1);
  return wide;
}

bool ReadKeySource(PCCERT_CONTEXT certificate, KeySource* source) {
  source->keyLength = 0;
  std::vector<BYTE> bytes;
  if (!KeyProviderInfo(certificate, &bytes)) {
    WriteLog(LogError, "Select:", "could not get prov info %08lX", GetLastError());
    return false;
  }
  const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(bytes.data());
  if (!ToAnsi(info->pwszProvName, &source->provider) || !ToAnsi(info->pwszContainerName, &source->container)) {
    WriteLog(LogError, "Select:", "could not get prov info %08lX", GetLastError());
    return false;
  }
  source->providerType = info->dwProvType;

  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextA(&provider, nullptr, source->provider.c_str(), source->providerType, CRYPT_VERIFYCONTEXT)) {
    WriteLog(LogError, "Select:", "CryptAcquireContext  hOldProv from Select %08lX", GetLastError());
    return false;
  }
  const DWORD length = CertGetPublicKeyLength(kEncoding, &certificate->pCertInfo->SubjectPublicKeyInfo);
  const DWORD error = GetLastError();
  CryptReleaseContext(provider, 0);
  if (length == 0) {
    WriteLog(LogError, "Select:", "CertGetPublicKeyLength in Select %08lX", error);
    SetLastError(error ? error : NTE_BAD_KEY);
    return false;
  }
  source->keyLength = length;
  return true;
}

}  // namespace tv::migration
