// The session-key ciphers of the provider, each reached through one dispatch
// record of sizes and functions.
//
// A cipher state is one self-contained block of stateSize bytes: the
// expanded key and the feedback register, no pointers. Copying its bytes
// duplicates a key together with where its chaining stands. Its storage must
// be aligned to 8 bytes (any heap allocation is). The portable and the
// accelerated code of a cipher share one state layout; the choice between
// them is made on every call (see cpu/cpu_features.h). Encryption and
// decryption work in place and allocate nothing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

namespace tv::crypto {

// How a block cipher chains blocks through the feedback register R:
//   Ecb: C = E(P)                         P = D(C)
//   Cbc: C = E(P ^ R), R = C              P = D(C) ^ R, R = C
//   Cfb: R = E(R), C = P ^ R, R = C       R' = E(R), P = C ^ R', R = C
//   Ofb: R = E(R), C = P ^ R              the same as encryption
// Feedback is always one whole block.
enum class CipherMode : std::uint32_t { Ecb = 0, Cbc = 1, Cfb = 2, Ofb = 3 };

struct CipherAlgorithm {
  const char* name;        // "des", "3des", "rc2", "rc4", "aes"
  std::size_t stateSize;   // bytes of the cipher state
  std::size_t blockSize;   // bytes per block; 0 for the stream cipher
  // Expands the key into state and loads the feedback register from iv, or
  // with zeros when iv is empty. lengthWord is the key length in bits in its
  // low 16 bits; RC2 reads a key byte count from its upper 16 bits (see
  // kRc2). Fails, leaving state untouched, when the key length is not one
  // the cipher takes, key holds fewer bytes than the length asks for, or iv
  // is neither empty nor one block.
  bool (*setup)(void* state, std::span<const std::uint8_t> key, std::uint32_t lengthWord,
                std::span<const std::uint8_t> iv);
  // Encrypt or decrypt data in place and advance the feedback register.
  // Block ciphers fail, changing nothing, when data is not a whole number of
  // blocks or mode is not one of CipherMode's values. The stream cipher
  // takes any length, ignores mode and encrypts and decrypts alike.
  bool (*encrypt)(void* state, std::span<std::uint8_t> data, CipherMode mode);
  bool (*decrypt)(void* state, std::span<std::uint8_t> data, CipherMode mode);
};

// DES (FIPS 46-3): 64-bit keys (parity bits ignored), 8-byte blocks.
extern const CipherAlgorithm kDes;
// Triple DES encrypt-decrypt-encrypt: K1 = key bytes 0-7, K2 = bytes 8-15,
// K3 = bytes 16-23 for a 192-bit key or K1 again for a 128-bit key.
extern const CipherAlgorithm kTripleDes;
// RC2 (RFC 2268), 8-byte blocks. The length word carries two numbers: the
// key byte count T is its upper 16 bits when they are non-zero, else its low
// 16 bits rounded up to whole bytes; T above 128 counts as 128, T = 0 fails.
// The effective key bits are the low 16 bits, 0 or above 1024 counting as
// 1024.
extern const CipherAlgorithm kRc2;
// RC4: keys of 1 to 256 bytes (the low 16 bits rounded up to whole bytes);
// no IV; the stream carries on across calls.
extern const CipherAlgorithm kRc4;
// AES (FIPS 197) with 128-, 192- or 256-bit keys, 16-byte blocks; AES-NI when
// cpu::UseAesNi() allows, portable lookup tables otherwise.
extern const CipherAlgorithm kAes;

}  // namespace tv::crypto
