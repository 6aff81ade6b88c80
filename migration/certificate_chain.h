// The issuer path of a certificate, as the migration copies it: the
// intermediate certificates found in the user's "CA" store, one issuer after
// the other, and the root they end in (self-signed in "CA", or found in
// "ROOT"). The certificate itself is not part of it.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <vector>

namespace tv::migration {

class CertificateChain {
 public:
  static constexpr std::size_t kMaxCertificates = 10;

  enum class Status {
    Complete,
    // No root ends the path within kMaxCertificates; the chain is empty.
    Incomplete,
    // "CA" or "ROOT" could not be opened; the chain is empty.
    StoresUnavailable,
  };

  CertificateChain() = default;
  ~CertificateChain() { Clear(); }
  CertificateChain(const CertificateChain&) = delete;
  CertificateChain& operator=(const CertificateChain&) = delete;

  Status Build(PCCERT_CONTEXT certificate);
  // Issuer first, the root last.
  const std::vector<PCCERT_CONTEXT>& Certificates() const { return certificates_; }

 private:
  void Clear();
  // Appends the certificate of `store` whose subject is the issuer of
  // `certificate`; false when there is none.
  bool AppendIssuer(HCERTSTORE store, PCCERT_CONTEXT certificate);

  std::vector<PCCERT_CONTEXT> certificates_;
};

}  // namespace tv::migration
