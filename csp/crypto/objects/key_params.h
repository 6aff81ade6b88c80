// Reading, changing and copying key objects (KP_* parameters, duplication).
// Each returns false with the last error set.
#pragma once
#include "csp/crypto/objects/key_object.h"

namespace tv::csp {

bool SetKeyParam(KeyObject& key, DWORD param, const BYTE* data, DWORD flags);
// The CryptoAPI size rule: a null data asks for the length; a short buffer
// gives ERROR_MORE_DATA and leaves the length as it was.
bool GetKeyParam(const KeyObject& key, DWORD param, BYTE* data, DWORD* length, DWORD flags);
// A new key with the same algorithm, flags and material; a session copy's
// feedback register restarts at the IV. Null with the last error set.
KeyObject* DuplicateKeyObject(const KeyObject& key);

}  // namespace tv::csp
