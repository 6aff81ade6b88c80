// Making keys: CPGenKey's key pairs and session keys, and CPDeriveKey's
// session keys from a hash value. Null with the last error set on failure.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "csp/crypto/objects/key_object.h"
#include "csp/front/prov_context.h"

namespace tv::csp {

// AT_KEYEXCHANGE / AT_SIGNATURE make and keep (and store, when the context
// has a container) a new key pair; other algorithms make a session key.
KeyObject* GenerateKey(ProvContext& context, ALG_ID algorithm, DWORD flags);

// A session key from the value of the base hash (which this finishes),
// stretched with the 0x36/0x5C construction when the key needs more bytes.
KeyObject* DeriveKey(HCRYPTPROV provider, ALG_ID algorithm, HCRYPTHASH baseHash, DWORD flags);

}  // namespace tv::csp
