#include "csp/crypto/objects/hash_object.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace tv::csp {
namespace {

struct PlainHash {
  ALG_ID algorithm;
  const crypto::HashAlgorithm* hash;
};

constexpr PlainHash kPlainHashes[] = {
    {CALG_MD2, &crypto::kMd2},       {CALG_MD4, &crypto::kMd4},
    {CALG_MD5, &crypto::kMd5},       {CALG_SHA1, &crypto::kSha1},
    {CALG_SHA_256, &crypto::kSha256}, {CALG_SHA_384, &crypto::kSha384},
    {CALG_SHA_512, &crypto::kSha512}, {CALG_SSL3_SHAMD5, &crypto::kSsl3ShaMd5},
};

bool Refuse(DWORD error) {
  SetLastError(error);
  return false;
}

HashObject* Fail(DWORD error) {
  SetLastError(error);
  return nullptr;
}

bool IsKeyed(ALG_ID algorithm) { return algorithm == CALG_MAC || algorithm == CALG_HMAC; }

// The hash algorithm behind an unkeyed ALG_ID; null with NTE_BAD_KEY for a
// keyed one (it would need a key) or NTE_BAD_ALGID.
const crypto::HashAlgorithm* FindPlainHash(ALG_ID algorithm) {
  for (const PlainHash& entry : kPlainHashes)
    if (entry.algorithm == algorithm) return entry.hash;
  SetLastError(IsKeyed(algorithm) ? NTE_BAD_KEY : NTE_BAD_ALGID);
  return nullptr;
}

// Gives the object a context and a value buffer for `hash`; the context is
// not started yet.
bool AttachAlgorithm(HashObject& object, const crypto::HashAlgorithm& hash) {
  crypto::WipingBuffer context(hash.contextSize), value(hash.digestSize);
  if (context.Size() != hash.contextSize || value.Size() != hash.digestSize) return Refuse(NTE_NO_MEMORY);
  object.context = std::move(context);
  object.value = std::move(value);
  object.hash = &hash;
  object.head.hashSize = static_cast<std::uint32_t>(hash.digestSize);
  return true;
}

bool StartMac(HashObject& object, KeyObject& key) {
  object.mac = CbcMac::Start(key);
  if (!object.mac) return false;
  object.head.hashSize = object.mac->BlockLength();
  object.value = crypto::WipingBuffer(object.head.hashSize);
  return object.value.Size() == object.head.hashSize || Refuse(NTE_NO_MEMORY);
}

bool StartHmac(HashObject& object, const KeyObject& key) {
  object.hmac = HmacPads::FromKey(key);
  return object.hmac != nullptr;
}

bool StartPlain(HashObject& object, const crypto::HashAlgorithm& hash) {
  if (!AttachAlgorithm(object, hash)) return false;
  hash.init(object.context.Data());
  return true;
}

bool Feed(HashObject& hash, std::span<const std::uint8_t> data) {
  if (hash.mac) return hash.mac->Update(data, hash.value.Data());
  hash.hash->update(hash.context.Data(), data);
  return true;
}

}  // namespace

HashObject* CreateHashObject(ALG_ID algorithm, KeyObject* key) {
  // A key, whenever one is given, must be a session key; MAC and HMAC need one.
  if (key ? !key->IsSession() : IsKeyed(algorithm)) return Fail(NTE_BAD_KEY);
  const crypto::HashAlgorithm* plain = nullptr;
  if (!IsKeyed(algorithm) && !(plain = FindPlainHash(algorithm))) return nullptr;
  std::unique_ptr<HashObject> object(new (std::nothrow) HashObject);
  if (!object) return Fail(NTE_NO_MEMORY);
  object->head.algorithm = algorithm;
  const bool started = algorithm == CALG_MAC    ? StartMac(*object, *key)
                       : algorithm == CALG_HMAC ? StartHmac(*object, *key)
                                                : StartPlain(*object, *plain);
  return started ? object.release() : nullptr;
}

void FreeHashObject(HashObject* hash) {
  if (!hash) return;
  crypto::SecureWipe(&hash->head, sizeof hash->head);
  delete hash;  // the buffers and keyed states wipe themselves
}

HashObject* DuplicateHashObject(const HashObject& source) {
  if (source.AwaitsHmacInfo()) return Fail(NTE_BAD_HASH_STATE);
  // Made without a key, as a caller's CPCreateHash would be: keyed objects
  // fail here with NTE_BAD_KEY.
  HashObject* copy = CreateHashObject(source.head.algorithm, nullptr);
  if (!copy) return nullptr;
  copy->head.finished = source.head.finished;
  memcpy(copy->context.Data(), source.context.Data(), source.context.Size());
  memcpy(copy->value.Data(), source.value.Data(), source.value.Size());
  return copy;
}

bool HashData(HashObject& hash, const BYTE* data, DWORD length, DWORD flags) {
  if (hash.head.finished) return Refuse(NTE_BAD_HASH_STATE);
  if (flags & ~static_cast<DWORD>(CRYPT_USERDATA)) return Refuse(NTE_BAD_FLAGS);
  if (flags & CRYPT_USERDATA) return length == 0 || Refuse(NTE_BAD_LEN);
  if (hash.AwaitsHmacInfo()) return Refuse(NTE_BAD_HASH_STATE);
  if (!data && length) return Refuse(ERROR_INVALID_PARAMETER);
  return Feed(hash, std::span<const std::uint8_t>(data, length));
}

bool HashSessionKey(HashObject& hash, const KeyObject& key, DWORD flags) {
  if (!key.IsSession()) return Refuse(NTE_BAD_KEY);
  if (flags & ~static_cast<DWORD>(CRYPT_LITTLE_ENDIAN)) return Refuse(NTE_BAD_FLAGS);
  if (hash.head.finished || hash.AwaitsHmacInfo()) return Refuse(NTE_BAD_HASH_STATE);
  const SessionKey& session = key.session;
  // Rounded up to whole bytes, and never past the key material: RC2's
  // effective key length may exceed it.
  const std::size_t count = std::min<std::size_t>((session.keyLength + 7) / 8, session.maxLength / 8);
  crypto::WipingBuffer copy(count);
  if (copy.Size() != count) return Refuse(NTE_NO_MEMORY);
  memcpy(copy.Data(), session.keyBytes.Data(), count);
  if (!(flags & CRYPT_LITTLE_ENDIAN)) std::reverse(copy.Data(), copy.Data() + count);
  return Feed(hash, std::span<const std::uint8_t>(copy.Data(), count));
}

bool FinishHash(HashObject& hash) {
  if (hash.head.finished) return true;
  if (hash.AwaitsHmacInfo()) return Refuse(NTE_BAD_HASH_STATE);
  if (hash.mac) {
    if (!hash.mac->Final(hash.value.Data())) return false;
  } else if (hash.hmac) {
    hash.hmac->Finish(*hash.hash, hash.context.Data(), hash.value.Data());
  } else {
    hash.hash->final(hash.context.Data(), hash.value.Data());
  }
  hash.head.finished = 1;
  return true;
}

bool ChooseHmacInner(HashObject& hash, ALG_ID inner) {
  if (!hash.hmac) return Refuse(NTE_BAD_TYPE);
  if (hash.hash) return Refuse(NTE_BAD_HASH_STATE);
  const crypto::HashAlgorithm* algorithm = FindPlainHash(inner);
  if (!algorithm || !AttachAlgorithm(hash, *algorithm)) return false;
  hash.hmac->Start(*algorithm, hash.context.Data());
  return true;
}

}  // namespace tv::csp
