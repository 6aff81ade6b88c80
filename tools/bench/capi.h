// CryptoAPI objects the suites time: a hash over a buffer and a session key
// that encrypts or decrypts a buffer in CBC (RC4 as a stream), in any
// provider.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "bench.h"

namespace tvbench {

enum class Direction { Encrypt, Decrypt };

// The digest of data in `provider`; empty when the provider refuses.
Bytes CapiDigest(HCRYPTPROV provider, ALG_ID algorithm, const Bytes& data);

// An owned key handle, set to CBC with an IV (and, for RC2, 128 effective
// bits) so that two providers holding the same key bytes compute the same.
class CapiKey {
 public:
  CapiKey() = default;
  explicit CapiKey(HCRYPTKEY key) : key_(key) {}
  ~CapiKey();
  CapiKey(const CapiKey&) = delete;
  CapiKey& operator=(const CapiKey&) = delete;

  bool Valid() const { return key_ != 0; }
  HCRYPTKEY Get() const { return key_; }
  // Block ciphers: CBC from `iv`; RC2 also 128 effective key bits. Drops
  // the key when the provider refuses.
  void UseCbc(ALG_ID algorithm, const Bytes& iv);
  // Not final: whole blocks, no padding, the chaining carries on.
  bool Run(Direction direction, Bytes& data);

 private:
  HCRYPTKEY key_ = 0;
};

}  // namespace tvbench
