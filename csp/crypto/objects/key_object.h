// KeyObject: the record behind every HCRYPTKEY. A session key carries its
// cipher state (expanded key and feedback register), key bytes and IV; an
// RSA key carries its numbers. The head is packed so that the tag sits where
// the handle model looks for it (after the one-byte kind and the algorithm).
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <cstdint>

#include "csp/crypto/bignum/random_source.h"
#include "csp/crypto/cipher/cipher.h"
#include "csp/crypto/cpu/wipe.h"
#include "csp/crypto/rsa/rsa_key.h"

namespace tv::csp {

enum class KeyKind : std::uint8_t { Session = 1, RsaPublic = 6, RsaPair = 7 };

inline constexpr std::uint32_t kNoSalt = 0xFFFFFFFF;

#pragma pack(push, 1)
struct KeyHead {
  KeyKind kind;
  ALG_ID algorithm;
  std::uint32_t tag;          // HandleTag while the key lives
  std::uint32_t exportable;   // 1 when made with CRYPT_EXPORTABLE
  std::uint32_t permissions;  // KP_PERMISSIONS, 0xFFFFFFFF at creation; read without
                              // CRYPT_EXPORT when the key is not exportable
};
#pragma pack(pop)
static_assert(offsetof(KeyHead, tag) == 5);

struct SessionKey {
  const crypto::CipherAlgorithm* cipher = nullptr;
  std::uint32_t maxLength = 0;    // bits of key plus salt
  std::uint32_t blockLength = 0;  // bytes; 0 for the stream cipher
  crypto::WipingBuffer state;     // the cipher's expanded key and feedback register
  crypto::WipingBuffer keyBytes;  // maxLength / 8 + 1 bytes: key from index 0, salt at the end
  std::uint32_t padding = PKCS5_PADDING;
  std::uint32_t keyLength = 0;    // bits of key material; RC2's effective key length too
  std::uint32_t modeBits = 64;
  crypto::WipingBuffer iv;        // blockLength bytes
  std::uint32_t saltLength = kNoSalt;
  std::uint32_t mode = CRYPT_MODE_CBC;

  bool IsStream() const { return blockLength == 0; }
  bool HasSalt() const { return saltLength != kNoSalt; }
  // Key length in bits, with the byte count of key plus salt in the upper
  // 16 bits when the key has salt.
  std::uint32_t LengthWord() const;
  // Expands the key into the state and loads the feedback register from the
  // IV (withIv) or with zeros; false (NTE_BAD_KEY set) when the cipher
  // refuses the key as it now stands.
  bool Setup(bool withIv);
  // Encrypts or decrypts whole blocks (or any length for the stream cipher)
  // in place in the given chaining mode, advancing the feedback register.
  bool Encrypt(std::uint8_t* data, std::size_t length, crypto::CipherMode mode);
  bool Decrypt(std::uint8_t* data, std::size_t length, crypto::CipherMode mode);
};

struct RsaKeyBody {
  std::uint32_t keyLength = 0;  // modulus bits, as requested or imported
  crypto::RsaKey numbers;
};

struct KeyObject {
  KeyHead head = {};
  SessionKey session;  // kind Session
  RsaKeyBody rsa;      // kinds RsaPublic and RsaPair

  bool IsSession() const { return head.kind == KeyKind::Session; }
  bool IsRsa() const { return head.kind == KeyKind::RsaPublic || head.kind == KeyKind::RsaPair; }
};

// Makes a session key of `algorithm`: key length from the upper 16 bits of
// flags (the maximum when 0, or when they give the length the algorithm
// list announces, such as 56 for DES), RC2 salt unless CRYPT_NO_SALT (random with
// CRYPT_CREATE_SALT). Set-up is not run. Null with the last error set:
// NTE_BAD_ALGID, NTE_BAD_FLAGS, NTE_NO_MEMORY.
KeyObject* CreateSessionKey(ALG_ID algorithm, DWORD flags, crypto::RandomSource& random);
// Makes an RSA key of `kind` with no numbers yet; NTE_BAD_FLAGS for a length
// outside 384..16384 or not a multiple of 8, NTE_NO_MEMORY.
KeyObject* CreateRsaKey(KeyKind kind, ALG_ID algorithm, std::uint32_t keyLength, DWORD flags);
// Wipes everything the key holds, clears its tag and frees it. Handles are
// issued and withdrawn by the front end (csp/front/object_handles.h), which
// calls this.
void FreeKeyObject(KeyObject* key);

}  // namespace tv::csp
