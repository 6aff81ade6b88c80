#include "capi_session.h"

#include <algorithm>

namespace tvtest {

CapiSession::CapiSession(const ProviderName& provider) : label_(provider.label) {
  if (!CryptAcquireContextA(&handle_, nullptr, provider.name, provider.type, CRYPT_VERIFYCONTEXT)) handle_ = 0;
}

CapiSession::~CapiSession() {
  for (HCRYPTHASH hash : hashes_) CryptDestroyHash(hash);
  for (HCRYPTKEY key : keys_) CryptDestroyKey(key);
  if (handle_) CryptReleaseContext(handle_, 0);
}

HCRYPTKEY CapiSession::Keep(HCRYPTKEY key) {
  keys_.push_back(key);
  return key;
}

HCRYPTKEY CapiSession::GenKey(ALG_ID algorithm, DWORD flags) {
  HCRYPTKEY key = 0;
  return CryptGenKey(handle_, algorithm, flags, &key) ? Keep(key) : 0;
}

HCRYPTHASH CapiSession::Hash(ALG_ID algorithm, const Bytes& data) {
  HCRYPTHASH hash = 0;
  if (!CryptCreateHash(handle_, algorithm, 0, 0, &hash)) return 0;
  hashes_.push_back(hash);
  return CryptHashData(hash, data.data(), static_cast<DWORD>(data.size()), 0) ? hash : 0;
}

CapiSession::Bytes CapiSession::Sign(ALG_ID hashAlgorithm, const Bytes& data, DWORD keySpec, DWORD flags) {
  const HCRYPTHASH hash = Hash(hashAlgorithm, data);
  DWORD length = 0;
  if (!hash || !CryptSignHashA(hash, keySpec, nullptr, flags, nullptr, &length)) return {};
  Bytes signature(length);
  if (!CryptSignHashA(hash, keySpec, nullptr, flags, signature.data(), &length)) return {};
  signature.resize(length);
  return signature;
}

bool CapiSession::Verify(ALG_ID hashAlgorithm, const Bytes& data, const Bytes& signature, HCRYPTKEY key,
                         DWORD flags) {
  const HCRYPTHASH hash = Hash(hashAlgorithm, data);
  return hash &&
         CryptVerifySignatureA(hash, signature.data(), static_cast<DWORD>(signature.size()), key, nullptr, flags);
}

CapiSession::Bytes CapiSession::Export(HCRYPTKEY key, DWORD blobType, HCRYPTKEY exportKey) {
  DWORD length = 0;
  if (!CryptExportKey(key, exportKey, blobType, 0, nullptr, &length)) return {};
  Bytes blob(length);
  if (!CryptExportKey(key, exportKey, blobType, 0, blob.data(), &length)) return {};
  blob.resize(length);
  return blob;
}

HCRYPTKEY CapiSession::Import(const Bytes& blob, HCRYPTKEY importKey, DWORD flags) {
  HCRYPTKEY key = 0;
  return CryptImportKey(handle_, blob.data(), static_cast<DWORD>(blob.size()), importKey, flags, &key) ? Keep(key)
                                                                                                       : 0;
}

CapiSession::Bytes CapiSession::Encrypt(HCRYPTKEY key, const Bytes& data) {
  DWORD length = static_cast<DWORD>(data.size());
  if (!CryptEncrypt(key, 0, TRUE, 0, nullptr, &length, 0)) return {};
  // The Enhanced providers answer 0 for a stream cipher: the message itself
  // always fits.
  Bytes buffer(data);
  buffer.resize(std::max<std::size_t>(length, data.size()));
  length = static_cast<DWORD>(data.size());
  if (!CryptEncrypt(key, 0, TRUE, 0, buffer.data(), &length, static_cast<DWORD>(buffer.size()))) return {};
  buffer.resize(length);
  return buffer;
}

DWORD CapiSession::KeyParam(HCRYPTKEY key, DWORD param) {
  DWORD value = 0, length = sizeof value;
  return CryptGetKeyParam(key, param, reinterpret_cast<BYTE*>(&value), &length, 0) ? value : 0;
}

}  // namespace tvtest
