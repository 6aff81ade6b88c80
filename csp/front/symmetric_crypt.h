// Encrypting and decrypting a caller's message in place with a session key:
// the length rules, the padding of the final piece, feeding a hash object
// with the plaintext, and restarting the key's chaining after the final
// piece. CPEncrypt and CPDecrypt check their handles and flags, then hand
// the call to one of these, which write the rest of the entry's trace lines
// and report through the entry's frame.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "csp/crypto/objects/key_object.h"
#include "csp/front/entry_frame.h"

namespace tv::csp {

struct MessageCall {
  const EntryFrame& frame;
  HCRYPTPROV provider;
  SessionKey& key;
  HCRYPTHASH hash;  // 0: nothing is hashed
  bool final;
  BYTE* data;       // null: only the length of the result is asked
  DWORD* length;    // in: bytes of the message; out: bytes of the result
};

// Encrypts the message, with bufferLength writable bytes at data. A final
// piece of a block cipher is padded to whole blocks; a buffer too small for
// the result gives ERROR_MORE_DATA with the length needed. The hash sees
// the plaintext without PKCS#5 pad bytes. A failure leaves the message and
// the key as they were.
BOOL EncryptMessage(const MessageCall& call, DWORD bufferLength);

// Decrypts the message; a final piece has its padding checked (and PKCS#5
// padding removed) and the key restarted. The hash sees the plaintext once
// its padding has passed. A null data answers the ciphertext's length, the
// most the plaintext can take. A hash that cannot take data is found before
// anything is decrypted.
BOOL DecryptMessage(const MessageCall& call);

}  // namespace tv::csp
