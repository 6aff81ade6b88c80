// The hash algorithms of the provider, each reached through one dispatch
// record of sizes and functions.
//
// A context is a flat block of contextSize bytes with no pointers inside, so
// copying its bytes duplicates a running hash. Its storage must be aligned to
// 8 bytes (any heap allocation is). The portable and the accelerated code of
// an algorithm share one context layout, so the choice between them (made on
// every update, see cpu/cpu_features.h) never affects a running hash.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

namespace tv::crypto {

struct HashAlgorithm {
  const char* name;         // "md5", "sha256", ...
  std::size_t contextSize;  // bytes of the context
  std::size_t digestSize;   // bytes written by final
  std::size_t blockSize;    // bytes of one compression block
  // Starts a hash in context.
  void (*init)(void* context);
  // Adds data to the running hash; any length, including zero.
  void (*update)(void* context, std::span<const std::uint8_t> data);
  // Writes digestSize bytes to digest, then ends the hash: MD2, MD4, MD5,
  // SHA-1 and the SSL3 pair wipe the context to zeros (init is needed before
  // further use); SHA-256, SHA-384 and SHA-512 leave it freshly initialised.
  void (*final)(void* context, std::uint8_t* digest);
};

inline constexpr std::size_t kMaxDigestSize = 64;

extern const HashAlgorithm kMd2;     // RFC 1319, 16-byte digest
extern const HashAlgorithm kMd4;     // RFC 1320, 16-byte digest
extern const HashAlgorithm kMd5;     // RFC 1321, 16-byte digest
extern const HashAlgorithm kSha1;    // FIPS 180, 20-byte digest
extern const HashAlgorithm kSha256;  // FIPS 180, 32-byte digest
extern const HashAlgorithm kSha384;  // FIPS 180, 48-byte digest
extern const HashAlgorithm kSha512;  // FIPS 180, 64-byte digest
// MD5 and SHA-1 over the same data; the 36-byte digest is the MD5 digest
// followed by the SHA-1 digest (the SSL3 handshake hash).
extern const HashAlgorithm kSsl3ShaMd5;

}  // namespace tv::crypto
