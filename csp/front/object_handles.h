// Issuing and withdrawing the handles of key and hash objects: an object
// gets the current HandleTag and is registered as live; destroying it
// unregisters it before its record is wiped and freed.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "csp/crypto/objects/hash_object.h"
#include "csp/crypto/objects/key_object.h"

namespace tv::csp {

HCRYPTKEY IssueKeyHandle(KeyObject* key);
void DestroyKey(KeyObject* key);
// The key behind a handle the entry frame has validated.
inline KeyObject* KeyFromHandle(HCRYPTKEY handle) { return reinterpret_cast<KeyObject*>(handle); }

HCRYPTHASH IssueHashHandle(HashObject* hash);
void DestroyHash(HashObject* hash);
// The hash behind a handle the entry frame has validated.
inline HashObject* HashFromHandle(HCRYPTHASH handle) { return reinterpret_cast<HashObject*>(handle); }

}  // namespace tv::csp
