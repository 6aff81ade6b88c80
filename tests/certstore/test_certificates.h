// Certificates made at test time with the platform's CryptoAPI: a key pair
// in a container of the platform's Enhanced provider (removed at the end)
// signs a root, intermediates and personal certificates, each padded to the
// size a test needs.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

namespace tvtest {

inline constexpr const char* kPlatformProvider = MS_ENHANCED_PROV_A;

// A signature key pair in a new container of `provider`; the container is
// deleted when the object goes.
class TestKeyPair {
 public:
  explicit TestKeyPair(const char* provider = kPlatformProvider, DWORD providerType = PROV_RSA_FULL);
  ~TestKeyPair();
  TestKeyPair(const TestKeyPair&) = delete;
  TestKeyPair& operator=(const TestKeyPair&) = delete;

  bool Ok() const { return provider_ != 0; }
  HCRYPTPROV Provider() const { return provider_; }
  const std::string& Container() const { return container_; }

 private:
  std::string providerName_, container_;
  DWORD providerType_;
  HCRYPTPROV provider_ = 0;
};

// A certificate context that frees itself.
class Certificate {
 public:
  Certificate() = default;
  explicit Certificate(PCCERT_CONTEXT context) : context_(context) {}
  Certificate(Certificate&& other) noexcept : context_(other.context_) { other.context_ = nullptr; }
  Certificate& operator=(Certificate&& other) noexcept;
  ~Certificate();
  PCCERT_CONTEXT Get() const { return context_; }
  DWORD Size() const { return context_ ? context_->cbCertEncoded : 0; }
  std::vector<BYTE> Encoded() const;
  std::vector<BYTE> Sha1() const;

 private:
  PCCERT_CONTEXT context_ = nullptr;
};

// A certificate "CN=<subject>" for the signature key of `subjectKey`,
// issued by "CN=<issuer>" and signed by `issuerKey`; an extension of padding
// makes it exactly `size` bytes when size is not 0. It is valid from now
// for `validYears`.
Certificate Issue(const std::string& subject, HCRYPTPROV subjectKey, const std::string& issuer,
                  const TestKeyPair& issuerKey, std::size_t size = 0, int validYears = 1);

// Signs a SHA-1 hash with the key `keySpec` of `signer` and verifies the
// signature with the certificate's public key in the platform's Enhanced
// provider; the signature's length in `signatureLength` when given.
bool SignsForCertificate(HCRYPTPROV signer, DWORD keySpec, PCCERT_CONTEXT certificate,
                         DWORD* signatureLength = nullptr);

// Gives `certificate` the key-provider information of a container.
bool SetKeyProvider(const Certificate& certificate, const std::string& container, const char* provider,
                    DWORD keySpec = AT_SIGNATURE);

}  // namespace tvtest
