#include "csp/storage/container_tag.h"

#include <windows.h>

#include <cstring>

#include "csp/crypto/cpu/wipe.h"
#include "csp/crypto/hash/hash.h"
#include "csp/storage/registry_values.h"

namespace tv::csp {

bool ContainerTag(const char* name, std::span<std::uint8_t, kContainerTagSize> tag) {
  const crypto::HashAlgorithm& md5 = crypto::kMd5;
  crypto::WipingBuffer context(md5.contextSize);
  if (context.Size() != md5.contextSize) return FailWith(static_cast<DWORD>(NTE_NO_MEMORY));
  std::uint8_t digest[crypto::kMaxDigestSize];
  md5.init(context.Data());
  md5.update(context.Data(), {reinterpret_cast<const std::uint8_t*>(name), std::strlen(name) + 1});
  md5.final(context.Data(), digest);
  std::memcpy(tag.data(), digest, tag.size());
  crypto::SecureWipe(digest, sizeof digest);
  return true;
}

}  // namespace tv::csp
