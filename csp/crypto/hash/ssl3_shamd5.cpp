// The SSL3 handshake hash: MD5 and SHA-1 over the same data, the digest
// being the MD5 digest followed by the SHA-1 digest.
#include "hash/md5.h"
#include "hash/sha1.h"

namespace tv::crypto {
namespace {

struct ShaMd5Context {
  Md5Context md5;
  Sha1Context sha1;
};

void ShaMd5Init(ShaMd5Context& context) {
  Md5Init(context.md5);
  Sha1Init(context.sha1);
}

void ShaMd5Update(ShaMd5Context& context, std::span<const std::uint8_t> data) {
  Md5Update(context.md5, data);
  Sha1Update(context.sha1, data);
}

// Both finals wipe their halves.
void ShaMd5Final(ShaMd5Context& context, std::uint8_t* digest) {
  Md5Final(context.md5, digest);
  Sha1Final(context.sha1, digest + kMd5DigestSize);
}

}  // namespace

constinit const HashAlgorithm kSsl3ShaMd5 =
    detail::MakeHashAlgorithm<ShaMd5Context, ShaMd5Init, ShaMd5Update, ShaMd5Final>(
        "ssl3-shamd5", kMd5DigestSize + kSha1DigestSize, 64);

}  // namespace tv::crypto
