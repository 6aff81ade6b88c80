// HashObject: the record behind every HCRYPTHASH. A plain hash runs one of
// the hash algorithms over a flat context; CALG_MAC is a CBC-MAC through a
// session key's cipher; CALG_HMAC wraps an inner hash, chosen later with
// HP_HMAC_INFO, in pads built from a session key. The head is packed so that
// the tag is the record's second u32, where the handle model looks for it.
//
// Every operation returns false (or null) with the reason in the thread's
// last error. Handles are issued and withdrawn by the front end; nothing
// here knows about them.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "csp/crypto/cpu/wipe.h"
#include "csp/crypto/hash/hash.h"
#include "csp/crypto/objects/cbc_mac.h"
#include "csp/crypto/objects/hmac.h"
#include "csp/crypto/objects/key_object.h"

namespace tv::csp {

#pragma pack(push, 1)
struct HashHead {
  ALG_ID algorithm;          // as created; stays CALG_HMAC after HP_HMAC_INFO
  std::uint32_t tag;         // HandleTag while the object lives
  std::uint32_t hashSize;    // digest bytes; 0 for HMAC until HP_HMAC_INFO
  std::uint32_t finished;    // 1 once the value has been read or set
};
#pragma pack(pop)
static_assert(offsetof(HashHead, tag) == 4);

struct HashObject {
  HashHead head = {};
  // The algorithm run over `context`: the plain hash, or HMAC's inner hash
  // once HP_HMAC_INFO has chosen it; null for CALG_MAC.
  const crypto::HashAlgorithm* hash = nullptr;
  crypto::WipingBuffer context;
  crypto::WipingBuffer value;  // hashSize bytes: the digest once finished
  std::unique_ptr<CbcMac> mac;     // CALG_MAC only
  std::unique_ptr<HmacPads> hmac;  // CALG_HMAC only

  // An HMAC object whose inner hash HP_HMAC_INFO has not chosen yet: it
  // takes no data and has no value.
  bool AwaitsHmacInfo() const { return hmac && !hash; }
};

// Makes an object of `algorithm`. `key` (null when none) must be a session
// key; CALG_MAC and CALG_HMAC require one, the other algorithms ignore it.
// CALG_MAC needs a block cipher and restarts the key's chaining from zero:
// the MAC and the key share the key's feedback register. Errors:
// NTE_BAD_ALGID, NTE_BAD_KEY, NTE_NO_MEMORY.
HashObject* CreateHashObject(ALG_ID algorithm, KeyObject* key);

// Wipes everything the object holds and frees it (null is ignored).
void FreeHashObject(HashObject* hash);

// A new object of the same algorithm carrying the same running state,
// finished flag and value. Keyed objects cannot be copied (NTE_BAD_KEY;
// NTE_BAD_HASH_STATE for HMAC before HP_HMAC_INFO).
HashObject* DuplicateHashObject(const HashObject& hash);

// Adds data (CPHashData's rules): flags 0 or CRYPT_USERDATA, the latter with
// length 0 only and adding nothing. NTE_BAD_HASH_STATE when finished or
// awaiting HP_HMAC_INFO; NTE_BAD_FLAGS, NTE_BAD_LEN; ERROR_INVALID_PARAMETER
// for null data of non-zero length. The data is never modified.
bool HashData(HashObject& hash, const BYTE* data, DWORD length, DWORD flags);

// Adds a session key's bytes (key length rounded up to whole bytes, no
// salt): in stored order with CRYPT_LITTLE_ENDIAN, reversed without it.
// NTE_BAD_KEY for a key that is not a session key, NTE_BAD_FLAGS,
// NTE_BAD_HASH_STATE.
bool HashSessionKey(HashObject& hash, const KeyObject& key, DWORD flags);

// Computes the digest into the value buffer and marks the object finished;
// a finished object keeps its value. This is what reading HP_HASHVAL does.
bool FinishHash(HashObject& hash);
// The value buffer: the digest once FinishHash has succeeded.
inline std::span<const std::uint8_t> HashValue(const HashObject& hash) {
  return {hash.value.Data(), hash.head.hashSize};
}

// Chooses an HMAC object's inner hash (what HP_HMAC_INFO does), once; the
// inner hash is started and fed the inner pad. NTE_BAD_TYPE on an object
// that is not HMAC, NTE_BAD_HASH_STATE the second time, NTE_BAD_KEY for a
// keyed inner algorithm, NTE_BAD_ALGID, NTE_NO_MEMORY; a failure changes
// nothing.
bool ChooseHmacInner(HashObject& hash, ALG_ID inner);

// HP_ALGID, HP_HASHSIZE and HP_HASHVAL, with the CryptoAPI size rule: null
// data asks for the length; a short buffer gives ERROR_MORE_DATA and leaves
// the length as it was. Reading HP_HASHVAL into a buffer finishes the object.
bool GetHashParam(HashObject& hash, DWORD param, BYTE* data, DWORD* length, DWORD flags);

// HP_HASHVAL (hash-size bytes become the value and the object is finished,
// whether it was before or not) and HP_HMAC_INFO (ChooseHmacInner with the
// HMAC_INFO's HashAlgid; its pad strings are not used).
bool SetHashParam(HashObject& hash, DWORD param, const BYTE* data, DWORD flags);

// The session key a CALG_MAC object encrypts with (not owned), else null.
// The front end checks that it is still a live key before any operation
// that may encrypt: HashData, HashSessionKey and FinishHash.
inline const KeyObject* MacKey(const HashObject& hash) { return hash.mac ? hash.mac->Key() : nullptr; }

}  // namespace tv::csp
