// Issuing and withdrawing the handles of key objects: a key gets the
// current HandleTag and is registered as live; destroying it unregisters it
// before its record is wiped and freed.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "csp/crypto/objects/key_object.h"

namespace tv::csp {

HCRYPTKEY IssueKeyHandle(KeyObject* key);
void DestroyKey(KeyObject* key);
// The key behind a handle the entry frame has validated.
inline KeyObject* KeyFromHandle(HCRYPTKEY handle) { return reinterpret_cast<KeyObject*>(handle); }

}  // namespace tv::csp
