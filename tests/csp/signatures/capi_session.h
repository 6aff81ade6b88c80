// A provider reached through the platform's CryptoAPI on a verify-only
// context: ours next to the platform's Enhanced providers, for the
// interoperability tests. Every key and hash made through a session is
// destroyed with it. Failing calls return an empty result or 0 and leave
// the CryptoAPI error as the last error.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <vector>

namespace tvtest {

struct ProviderName {
  const char* name;
  DWORD type;
  const char* label;  // for messages
};

inline constexpr ProviderName kOurs = {"Tavrin RSA Cryptographic Provider v1.0", PROV_RSA_FULL, "ours"};
inline constexpr ProviderName kEnhanced = {MS_ENHANCED_PROV_A, PROV_RSA_FULL, "Enhanced"};
inline constexpr ProviderName kEnhancedAes = {MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES, "Enhanced RSA and AES"};

class CapiSession {
 public:
  using Bytes = std::vector<std::uint8_t>;

  explicit CapiSession(const ProviderName& provider);
  ~CapiSession();
  CapiSession(const CapiSession&) = delete;
  CapiSession& operator=(const CapiSession&) = delete;

  bool ok() const { return handle_ != 0; }
  const char* label() const { return label_; }

  HCRYPTKEY GenKey(ALG_ID algorithm, DWORD flags);
  Bytes Sign(ALG_ID hashAlgorithm, const Bytes& data, DWORD keySpec, DWORD flags = 0);
  // True when the signature verifies.
  bool Verify(ALG_ID hashAlgorithm, const Bytes& data, const Bytes& signature, HCRYPTKEY key, DWORD flags = 0);
  Bytes Export(HCRYPTKEY key, DWORD blobType, HCRYPTKEY exportKey = 0);
  HCRYPTKEY Import(const Bytes& blob, HCRYPTKEY importKey = 0, DWORD flags = 0);
  // The whole message encrypted as one final piece, in the key's mode and
  // padding as they stand.
  Bytes Encrypt(HCRYPTKEY key, const Bytes& data);
  DWORD KeyParam(HCRYPTKEY key, DWORD param);

 private:
  HCRYPTHASH Hash(ALG_ID algorithm, const Bytes& data);
  HCRYPTKEY Keep(HCRYPTKEY key);

  HCRYPTPROV handle_ = 0;
  const char* label_;
  std::vector<HCRYPTKEY> keys_;
  std::vector<HCRYPTHASH> hashes_;
};

}  // namespace tvtest
