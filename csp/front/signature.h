// Signing and verifying the value of a hash object with PKCS#1 v1.5
// signature blocks. CPSignHash and CPVerifySignature check their handles,
// flags and description, then hand the call to one of these, which write
// the rest of the entry's trace lines and report through the entry's frame.
// Signatures are written and read least significant byte first.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <span>

#include "csp/crypto/objects/key_object.h"
#include "csp/front/entry_frame.h"

namespace tv::csp {

// Signs with the context's pair of `keySpec` (reloading the container
// first when the Key was removed or nothing is loaded). A null signature
// asks for the length, k, and leaves the hash open; otherwise the hash is
// finished. CRYPT_NOHASHOID in `flags` signs the bare hash value.
BOOL SignHash(const EntryFrame& frame, HCRYPTPROV provider, HCRYPTHASH hash, DWORD keySpec, DWORD flags,
              BYTE* signature, DWORD* length);

// Verifies `signature` of the hash's value with any RSA key. It must be k
// bytes, below the modulus, and open to exactly a signature block of the
// value: the bare form, or without CRYPT_NOHASHOID also the form with the
// DigestInfo of the hash's own algorithm. NTE_BAD_SIGNATURE otherwise.
BOOL VerifySignature(const EntryFrame& frame, HCRYPTPROV provider, HCRYPTHASH hash,
                     std::span<const std::uint8_t> signature, const KeyObject& key, DWORD flags);

}  // namespace tv::csp
