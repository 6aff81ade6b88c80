// Reading and setting the parameters of a hash object.
#include <cstring>

#include "csp/crypto/objects/hash_object.h"

namespace tv::csp {
namespace {

bool Refuse(DWORD error) {
  SetLastError(error);
  return false;
}

// HP_HASHVAL: the size rule, then (with a buffer) the digest, finishing an
// open object. A size query leaves the object open.
bool GetValue(HashObject& hash, BYTE* data, DWORD* length) {
  if (hash.AwaitsHmacInfo()) return Refuse(NTE_BAD_HASH_STATE);
  if (data && *length < hash.head.hashSize) return Refuse(ERROR_MORE_DATA);
  *length = hash.head.hashSize;
  if (!data) return true;
  if (!FinishHash(hash)) return false;
  memcpy(data, hash.value.Data(), hash.head.hashSize);
  return true;
}

// The four-byte parameters. The length is set before the parameter is
// looked at, so an unknown one still reports 4.
bool GetWord(const HashObject& hash, DWORD param, BYTE* data, DWORD* length) {
  std::uint32_t word = 0;
  if (data && *length < sizeof word) return Refuse(ERROR_MORE_DATA);
  *length = sizeof word;
  switch (param) {
    case HP_ALGID:
      word = hash.head.algorithm;
      break;
    case HP_HASHSIZE:
      if (hash.AwaitsHmacInfo()) return Refuse(NTE_BAD_HASH_STATE);
      word = hash.head.hashSize;
      break;
    default:
      return Refuse(NTE_BAD_TYPE);
  }
  if (data) memcpy(data, &word, sizeof word);
  return true;
}

bool SetValue(HashObject& hash, const BYTE* data) {
  if (hash.AwaitsHmacInfo()) return Refuse(NTE_BAD_HASH_STATE);
  memcpy(hash.value.Data(), data, hash.head.hashSize);
  hash.head.finished = 1;
  return true;
}

}  // namespace

bool GetHashParam(HashObject& hash, DWORD param, BYTE* data, DWORD* length, DWORD flags) {
  if (flags) return Refuse(NTE_BAD_FLAGS);
  if (!length) return Refuse(ERROR_INVALID_PARAMETER);
  return param == HP_HASHVAL ? GetValue(hash, data, length) : GetWord(hash, param, data, length);
}

bool SetHashParam(HashObject& hash, DWORD param, const BYTE* data, DWORD flags) {
  if (flags) return Refuse(NTE_BAD_FLAGS);
  if (param != HP_HASHVAL && param != HP_HMAC_INFO) return Refuse(NTE_BAD_TYPE);
  if (!data) return Refuse(ERROR_INVALID_PARAMETER);
  if (param == HP_HASHVAL) return SetValue(hash, data);
  ALG_ID inner;  // HMAC_INFO's first field, HashAlgid
  memcpy(&inner, data, sizeof inner);
  return ChooseHmacInner(hash, inner);
}

}  // namespace tv::csp
