#include "in_process_provider.h"

#include <algorithm>
#include <cstring>

#include "csp/crypto/hash/hash.h"
#include "csp/crypto/rsa/rsa.h"
#include "csp/front/cp_entries.h"
#include "csp/front/object_handles.h"
#include "csp/front/process_state.h"
#include "csp/front/random/random_generator.h"

namespace tvtest {
namespace {

void EnsureProcessState() {
  static const bool initialized = tv::csp::InitializeProcessState();
  (void)initialized;
}

const tv::crypto::HashAlgorithm* HashPrimitive(ALG_ID algorithm) {
  switch (algorithm) {
    case CALG_MD2: return &tv::crypto::kMd2;
    case CALG_MD4: return &tv::crypto::kMd4;
    case CALG_MD5: return &tv::crypto::kMd5;
    case CALG_SHA1: return &tv::crypto::kSha1;
    case CALG_SHA_256: return &tv::crypto::kSha256;
    case CALG_SHA_384: return &tv::crypto::kSha384;
    case CALG_SHA_512: return &tv::crypto::kSha512;
    case CALG_SSL3_SHAMD5: return &tv::crypto::kSsl3ShaMd5;
    default: return nullptr;
  }
}

Bytes AlignedRight(Bytes result, std::size_t length, std::size_t size) {
  result.resize(length);
  result.insert(result.begin(), size - length, 0);
  return result;
}

}  // namespace

InProcessProvider::InProcessProvider(DWORD flags) {
  EnsureProcessState();
  if (!CPAcquireContext(&handle_, nullptr, flags, nullptr)) handle_ = 0;
}

InProcessProvider::~InProcessProvider() {
  if (!handle_) return;
  for (HCRYPTHASH hash : hashes_) CPDestroyHash(handle_, hash);
  for (HCRYPTKEY key : keys_) CPDestroyKey(handle_, key);
  CPReleaseContext(handle_, 0);
}

HCRYPTKEY InProcessProvider::Keep(HCRYPTKEY key) {
  keys_.push_back(key);
  return key;
}

HCRYPTKEY InProcessProvider::GenKey(ALG_ID algorithm, DWORD flags) {
  HCRYPTKEY key = 0;
  return CPGenKey(handle_, algorithm, flags, &key) ? Keep(key) : 0;
}

HCRYPTHASH InProcessProvider::Hash(ALG_ID algorithm, const Bytes& data) {
  HCRYPTHASH hash = 0;
  if (!CPCreateHash(handle_, algorithm, 0, 0, &hash)) return 0;
  hashes_.push_back(hash);
  return CPHashData(handle_, hash, data.data(), static_cast<DWORD>(data.size()), 0) ? hash : 0;
}

Bytes InProcessProvider::Sign(ALG_ID hashAlgorithm, const Bytes& data, DWORD keySpec, DWORD flags) {
  const HCRYPTHASH hash = Hash(hashAlgorithm, data);
  DWORD length = 0;
  if (!hash || !CPSignHash(handle_, hash, keySpec, nullptr, flags, nullptr, &length)) return {};
  Bytes signature(length);
  if (!CPSignHash(handle_, hash, keySpec, nullptr, flags, signature.data(), &length)) return {};
  signature.resize(length);
  return signature;
}

DWORD InProcessProvider::Verify(ALG_ID hashAlgorithm, const Bytes& data, const Bytes& signature, HCRYPTKEY key,
                                DWORD flags) {
  const HCRYPTHASH hash = Hash(hashAlgorithm, data);
  if (!hash) return GetLastError();
  return CPVerifySignature(handle_, hash, signature.data(), static_cast<DWORD>(signature.size()), key, nullptr,
                           flags)
             ? 0
             : GetLastError();
}

Bytes InProcessProvider::Export(HCRYPTKEY key, DWORD blobType, HCRYPTKEY exportKey) {
  DWORD length = 0;
  if (!CPExportKey(handle_, key, exportKey, blobType, 0, nullptr, &length)) return {};
  Bytes blob(length);
  if (!CPExportKey(handle_, key, exportKey, blobType, 0, blob.data(), &length)) return {};
  blob.resize(length);
  return blob;
}

HCRYPTKEY InProcessProvider::Import(const Bytes& blob, HCRYPTKEY importKey, DWORD flags) {
  HCRYPTKEY key = 0;
  return CPImportKey(handle_, blob.data(), static_cast<DWORD>(blob.size()), importKey, flags, &key) ? Keep(key)
                                                                                                     : 0;
}

HCRYPTKEY InProcessProvider::UserKey(DWORD keySpec) {
  HCRYPTKEY key = 0;
  return CPGetUserKey(handle_, keySpec, &key) ? Keep(key) : 0;
}

const tv::crypto::RsaKey& RsaNumbers(HCRYPTKEY key) { return tv::csp::KeyFromHandle(key)->rsa.numbers; }

Bytes Digest(ALG_ID algorithm, const Bytes& data) {
  const tv::crypto::HashAlgorithm* hash = HashPrimitive(algorithm);
  if (!hash) return {};
  std::vector<std::uint64_t> context((hash->contextSize + 7) / 8);
  Bytes digest(hash->digestSize);
  hash->init(context.data());
  hash->update(context.data(), data);
  hash->final(context.data(), digest.data());
  return digest;
}

Bytes RawPublic(const tv::crypto::RsaKey& key, const Bytes& block, std::size_t size) {
  tv::crypto::Arithmetic ar;
  Bytes result(size);
  std::size_t length = 0;
  if (!tv::crypto::RsaPublic(key, block, result, length, ar)) return {};
  return AlignedRight(result, length, size);
}

Bytes RawPrivate(const tv::crypto::RsaKey& key, const Bytes& block, std::size_t size) {
  tv::crypto::Arithmetic ar;
  tv::csp::GeneratorSource random;
  Bytes result(size);
  std::size_t length = 0;
  if (!tv::crypto::RsaPrivate(key, block, result, length, ar, random)) return {};
  return AlignedRight(result, length, size);
}

Bytes Reversed(Bytes bytes) {
  std::reverse(bytes.begin(), bytes.end());
  return bytes;
}

}  // namespace tvtest
