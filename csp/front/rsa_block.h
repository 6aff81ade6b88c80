// The RSA operations of a key object on whole blocks of the key's modulus
// size k (key length / 8), on the calling thread's arithmetic instance.
// Input and output are k bytes, most significant byte first; the result is
// zero-filled on the left. An input that is not a number below the modulus
// is refused rather than reduced, so that no two inputs stand for the same
// value.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "csp/crypto/objects/key_object.h"

namespace tv::csp {

// The key's block size: its modulus bytes.
inline std::size_t RsaBlockSize(const KeyObject& key) { return key.rsa.keyLength / 8; }

// block^e mod n. False when either span is not k bytes, the block is not
// below n or the arithmetic fails.
bool RsaPublicBlock(const KeyObject& key, std::span<const std::uint8_t> block, std::span<std::uint8_t> out);

// block^d mod n, blinded and checked (csp/crypto/rsa/rsa.h); the same
// refusals, and false for a key without its private part.
bool RsaPrivateBlock(const KeyObject& key, std::span<const std::uint8_t> block, std::span<std::uint8_t> out);

}  // namespace tv::csp
