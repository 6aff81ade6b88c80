#include "capi.h"

#include "hash/hash.h"

namespace tvbench {

Bytes CapiDigest(HCRYPTPROV provider, ALG_ID algorithm, const Bytes& data) {
  HCRYPTHASH hash = 0;
  if (provider == 0 || !CryptCreateHash(provider, algorithm, 0, 0, &hash)) return {};
  Bytes digest(tv::crypto::kMaxDigestSize);
  DWORD size = static_cast<DWORD>(digest.size());
  const bool done = CryptHashData(hash, data.data(), static_cast<DWORD>(data.size()), 0) &&
                    CryptGetHashParam(hash, HP_HASHVAL, digest.data(), &size, 0);
  CryptDestroyHash(hash);
  if (!done) return {};
  digest.resize(size);
  return digest;
}

CapiKey::~CapiKey() {
  if (key_ != 0) CryptDestroyKey(key_);
}

void CapiKey::UseCbc(ALG_ID algorithm, const Bytes& iv) {
  if (key_ == 0 || algorithm == CALG_RC4) return;
  const DWORD mode = CRYPT_MODE_CBC;
  const DWORD effectiveBits = 128;
  if (!CryptSetKeyParam(key_, KP_MODE, reinterpret_cast<const BYTE*>(&mode), 0) ||
      !CryptSetKeyParam(key_, KP_IV, iv.data(), 0) ||
      (algorithm == CALG_RC2 &&
       !CryptSetKeyParam(key_, KP_EFFECTIVE_KEYLEN, reinterpret_cast<const BYTE*>(&effectiveBits), 0))) {
    CryptDestroyKey(key_);
    key_ = 0;
  }
}

bool CapiKey::Run(Direction direction, Bytes& data) {
  DWORD length = static_cast<DWORD>(data.size());
  return direction == Direction::Encrypt
             ? CryptEncrypt(key_, 0, FALSE, 0, data.data(), &length, static_cast<DWORD>(data.size()))
             : CryptDecrypt(key_, 0, FALSE, 0, data.data(), &length);
}

}  // namespace tvbench
