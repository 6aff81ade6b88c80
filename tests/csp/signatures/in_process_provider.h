// The provider's own CP entries called in-process on a context of its own,
// with the conveniences the signature and key blob tests share. Every key
// and hash made here is destroyed with the provider. Failing calls return
// an empty result or 0 and leave the entry's error as the last error.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <vector>

#include "csp/crypto/rsa/rsa_key.h"
#include "csp/front/prov_context.h"

namespace tvtest {

using Bytes = std::vector<std::uint8_t>;

class InProcessProvider {
 public:
  // A verify-only context (with CRYPT_SILENT when asked); ok() tells.
  explicit InProcessProvider(DWORD flags = CRYPT_VERIFYCONTEXT);
  ~InProcessProvider();
  InProcessProvider(const InProcessProvider&) = delete;
  InProcessProvider& operator=(const InProcessProvider&) = delete;

  bool ok() const { return handle_ != 0; }
  HCRYPTPROV handle() const { return handle_; }
  tv::csp::ProvContext& context() const { return *tv::csp::ContextFromHandle(handle_); }

  HCRYPTKEY GenKey(ALG_ID algorithm, DWORD flags);
  // A hash of `algorithm` fed with data.
  HCRYPTHASH Hash(ALG_ID algorithm, const Bytes& data);
  Bytes Sign(ALG_ID hashAlgorithm, const Bytes& data, DWORD keySpec, DWORD flags = 0);
  // 0 when the signature verifies, else the entry's error.
  DWORD Verify(ALG_ID hashAlgorithm, const Bytes& data, const Bytes& signature, HCRYPTKEY key, DWORD flags = 0);
  Bytes Export(HCRYPTKEY key, DWORD blobType, HCRYPTKEY exportKey = 0);
  HCRYPTKEY Import(const Bytes& blob, HCRYPTKEY importKey = 0, DWORD flags = 0);
  HCRYPTKEY UserKey(DWORD keySpec);

 private:
  HCRYPTKEY Keep(HCRYPTKEY key);

  HCRYPTPROV handle_ = 0;
  std::vector<HCRYPTKEY> keys_;
  std::vector<HCRYPTHASH> hashes_;
};

// The numbers of an RSA key object behind a handle.
const tv::crypto::RsaKey& RsaNumbers(HCRYPTKEY key);

// Digest of data with the hash primitive behind `algorithm` (MD5, SHA-1,
// SHA-2 and the SSL3 pair), computed without the provider.
Bytes Digest(ALG_ID algorithm, const Bytes& data);

// x^e or x^d mod n of a big-endian block, most significant byte first and
// zero-filled to `size` bytes; empty when the arithmetic fails.
Bytes RawPublic(const tv::crypto::RsaKey& key, const Bytes& block, std::size_t size);
Bytes RawPrivate(const tv::crypto::RsaKey& key, const Bytes& block, std::size_t size);

// The bytes reversed: between CryptoAPI's byte order and big-endian.
Bytes Reversed(Bytes bytes);

}  // namespace tvtest
