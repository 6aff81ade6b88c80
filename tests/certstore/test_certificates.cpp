#include "tests/certstore/test_certificates.h"

#include "tests/support/isolation.h"

namespace tvtest {
namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr char kPaddingOid[] = "1.3.6.1.4.1.55555.1.1";

std::vector<BYTE> EncodedName(const std::string& commonName) {
  const std::string x500 = "CN=" + commonName;
  DWORD size = 0;
  CertStrToNameA(X509_ASN_ENCODING, x500.c_str(), CERT_X500_NAME_STR, nullptr, nullptr, &size, nullptr);
  std::vector<BYTE> name(size);
  if (!CertStrToNameA(X509_ASN_ENCODING, x500.c_str(), CERT_X500_NAME_STR, nullptr, name.data(), &size, nullptr))
    return {};
  name.resize(size);
  return name;
}

std::vector<BYTE> PublicKeyInfo(HCRYPTPROV key) {
  DWORD size = 0;
  CryptExportPublicKeyInfo(key, AT_SIGNATURE, X509_ASN_ENCODING, nullptr, &size);
  std::vector<BYTE> info(size);
  if (!CryptExportPublicKeyInfo(key, AT_SIGNATURE, X509_ASN_ENCODING,
                                reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(info.data()), &size))
    return {};
  return info;
}

std::vector<BYTE> Encode(const std::string& subject, HCRYPTPROV subjectKey, const std::string& issuer,
                         const TestKeyPair& issuerKey, std::size_t padding, int validYears) {
  std::vector<BYTE> subjectName = EncodedName(subject), issuerName = EncodedName(issuer);
  std::vector<BYTE> keyInfo = PublicKeyInfo(subjectKey);
  if (subjectName.empty() || issuerName.empty() || keyInfo.empty()) return {};
  BYTE serial[8];
  CryptGenRandom(issuerKey.Provider(), sizeof serial, serial);
  serial[7] &= 0x7F;

  CERT_INFO info = {};
  info.dwVersion = CERT_V3;
  info.SerialNumber = {sizeof serial, serial};
  info.SignatureAlgorithm.pszObjId = const_cast<char*>(szOID_RSA_SHA1RSA);
  info.Issuer = {static_cast<DWORD>(issuerName.size()), issuerName.data()};
  info.Subject = {static_cast<DWORD>(subjectName.size()), subjectName.data()};
  SYSTEMTIME now;
  GetSystemTime(&now);
  SystemTimeToFileTime(&now, &info.NotBefore);
  now.wYear = static_cast<WORD>(now.wYear + validYears);
  if (now.wMonth == 2 && now.wDay == 29) now.wDay = 28;
  SystemTimeToFileTime(&now, &info.NotAfter);
  info.SubjectPublicKeyInfo = *reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(keyInfo.data());
  std::vector<BYTE> fill(padding, 0x5A);
  CERT_EXTENSION extension{const_cast<char*>(kPaddingOid), FALSE, {static_cast<DWORD>(fill.size()), fill.data()}};
  if (padding) {
    info.cExtension = 1;
    info.rgExtension = &extension;
  }
  CRYPT_ALGORITHM_IDENTIFIER algorithm{const_cast<char*>(szOID_RSA_SHA1RSA), {}};
  DWORD size = 0;
  CryptSignAndEncodeCertificate(issuerKey.Provider(), AT_SIGNATURE, X509_ASN_ENCODING, X509_CERT_TO_BE_SIGNED,
                                &info, &algorithm, nullptr, nullptr, &size);
  std::vector<BYTE> encoded(size);
  if (!CryptSignAndEncodeCertificate(issuerKey.Provider(), AT_SIGNATURE, X509_ASN_ENCODING, X509_CERT_TO_BE_SIGNED,
                                     &info, &algorithm, nullptr, encoded.data(), &size))
    return {};
  encoded.resize(size);
  return encoded;
}

}  // namespace

TestKeyPair::TestKeyPair(const char* provider, DWORD providerType)
    : providerName_(provider), container_(UniqueName("tvcstore-test-")), providerType_(providerType) {
  if (!CryptAcquireContextA(&provider_, container_.c_str(), provider, providerType, CRYPT_NEWKEYSET)) {
    provider_ = 0;
    return;
  }
  HCRYPTKEY key = 0;
  if (!CryptGenKey(provider_, AT_SIGNATURE, (1024u << 16), &key)) {
    CryptReleaseContext(provider_, 0);
    provider_ = 0;
    return;
  }
  CryptDestroyKey(key);
}

TestKeyPair::~TestKeyPair() {
  if (!provider_) return;
  CryptReleaseContext(provider_, 0);
  HCRYPTPROV gone = 0;
  CryptAcquireContextA(&gone, container_.c_str(), providerName_.c_str(), providerType_, CRYPT_DELETEKEYSET);
}

Certificate& Certificate::operator=(Certificate&& other) noexcept {
  if (this != &other) {
    if (context_) CertFreeCertificateContext(context_);
    context_ = other.context_;
    other.context_ = nullptr;
  }
  return *this;
}

Certificate::~Certificate() {
  if (context_) CertFreeCertificateContext(context_);
}

std::vector<BYTE> Certificate::Encoded() const {
  return context_ ? std::vector<BYTE>(context_->pbCertEncoded, context_->pbCertEncoded + context_->cbCertEncoded)
                  : std::vector<BYTE>();
}

std::vector<BYTE> Certificate::Sha1() const {
  BYTE hash[20];
  DWORD size = sizeof hash;
  if (!context_ || !CertGetCertificateContextProperty(context_, CERT_SHA1_HASH_PROP_ID, hash, &size)) return {};
  return {hash, hash + size};
}

Certificate Issue(const std::string& subject, HCRYPTPROV subjectKey, const std::string& issuer,
                  const TestKeyPair& issuerKey, std::size_t size, int validYears) {
  std::size_t padding = 0;
  std::vector<BYTE> encoded = Encode(subject, subjectKey, issuer, issuerKey, padding, validYears);
  // The padding's own length fields grow with it: a few rounds settle it.
  for (int round = 0; size && round < 8 && !encoded.empty() && encoded.size() != size; ++round) {
    const std::ptrdiff_t missing = static_cast<std::ptrdiff_t>(size) - static_cast<std::ptrdiff_t>(encoded.size());
    const std::ptrdiff_t next = static_cast<std::ptrdiff_t>(padding) + missing - (padding == 0 ? 24 : 0);
    padding = next > 1 ? static_cast<std::size_t>(next) : 1;
    encoded = Encode(subject, subjectKey, issuer, issuerKey, padding, validYears);
  }
  if (encoded.empty() || (size && encoded.size() != size)) return Certificate();
  return Certificate(CertCreateCertificateContext(kEncoding, encoded.data(), static_cast<DWORD>(encoded.size())));
}

bool SignsForCertificate(HCRYPTPROV signer, DWORD keySpec, PCCERT_CONTEXT certificate, DWORD* signatureLength) {
  const BYTE data[] = "signed with the certificate's key";
  BYTE signature[2048];
  DWORD length = sizeof signature;
  HCRYPTPROV verifier = 0;
  HCRYPTHASH hash = 0;
  HCRYPTKEY publicKey = 0;
  bool verified = false;
  if (CryptCreateHash(signer, CALG_SHA1, 0, 0, &hash) && CryptHashData(hash, data, sizeof data, 0) &&
      CryptSignHashA(hash, keySpec, nullptr, 0, signature, &length)) {
    CryptDestroyHash(hash);
    hash = 0;
    verified = CryptAcquireContextA(&verifier, nullptr, kPlatformProvider, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
               CryptImportPublicKeyInfo(verifier, kEncoding, &certificate->pCertInfo->SubjectPublicKeyInfo,
                                        &publicKey) &&
               CryptCreateHash(verifier, CALG_SHA1, 0, 0, &hash) && CryptHashData(hash, data, sizeof data, 0) &&
               CryptVerifySignatureA(hash, signature, length, publicKey, nullptr, 0);
  }
  if (hash) CryptDestroyHash(hash);
  if (publicKey) CryptDestroyKey(publicKey);
  if (verifier) CryptReleaseContext(verifier, 0);
  if (signatureLength) *signatureLength = length;
  return verified;
}

bool SetKeyProvider(const Certificate& certificate, const std::string& container, const char* provider,
                    DWORD keySpec) {
  std::wstring wideContainer(container.begin(), container.end());
  const std::string providerText = provider;
  std::wstring wideProvider(providerText.begin(), providerText.end());
  CRYPT_KEY_PROV_INFO info = {};
  info.pwszContainerName = wideContainer.data();
  info.pwszProvName = wideProvider.data();
  info.dwProvType = PROV_RSA_FULL;
  info.dwKeySpec = keySpec;
  return CertSetCertificateContextProperty(certificate.Get(), CERT_KEY_PROV_INFO_PROP_ID, 0, &info) != FALSE;
}

}  // namespace tvtest
