// Encrypting a short message with the public key of an exchange pair and
// decrypting it with the private key, as the platform's providers offer
// through CPEncrypt and CPDecrypt: PKCS#1 v1.5 encryption blocks, or OAEP
// (SHA-1, MGF1, empty label) with CRYPT_OAEP. Ciphertexts are k bytes (the
// key's modulus bytes) in CryptoAPI's byte order, least significant first;
// messages are plain bytes.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "csp/crypto/objects/key_object.h"
#include "csp/front/entry_frame.h"

namespace tv::csp {

struct RsaMessageCall {
  const EntryFrame& frame;
  HCRYPTPROV provider;
  const KeyObject& key;  // an exchange key: a pair, or a public key to encrypt with
  HCRYPTHASH hash;       // 0: nothing is hashed
  bool oaep;             // CRYPT_OAEP
  BYTE* data;            // null: only the length of the result is asked
  DWORD* length;         // in: bytes of the message; out: bytes of the result
};

// True for a key these entries take: an exchange key (CALG_RSA_KEYX), with
// its private part when it is to decrypt.
bool IsRsaCryptKey(const KeyObject& key, bool decrypting);

// Pads the message and encrypts it in place into k bytes of the
// bufferLength writable at data. A message longer than the padding allows
// gives NTE_BAD_LEN; a buffer shorter than k, ERROR_MORE_DATA with k as the
// length. The hash, when given, sees the message.
BOOL EncryptWithRsa(const RsaMessageCall& call, DWORD bufferLength);

// Decrypts the k-byte ciphertext at data and writes the message in its
// place. Every fault of the ciphertext or its padding gives NTE_BAD_DATA
// and leaves the caller's buffer as it was. The private key is used as for
// signing: when the Key holding the container was removed, the container
// is read again first.
BOOL DecryptWithRsa(const RsaMessageCall& call);

}  // namespace tv::csp
