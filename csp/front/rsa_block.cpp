#include "csp/front/rsa_block.h"

#include <cstring>

#include "csp/crypto/rsa/rsa.h"
#include "csp/front/random/random_generator.h"
#include "csp/front/random/thread_instance.h"

namespace tv::csp {
namespace {

// Whether the spans fit the key and the block is a number below n.
bool IsBlockOfKey(const KeyObject& key, std::span<const std::uint8_t> block, std::span<std::uint8_t> out,
                  crypto::Arithmetic& ar) {
  const std::size_t size = RsaBlockSize(key);
  if (!key.IsRsa() || block.size() != size || out.size() != size) return false;
  ar.Reset();
  crypto::BigNum value;
  return value.SetBytes(block, ar) && crypto::Compare(value, key.rsa.numbers.n) < 0;
}

// Moves a result of `length` bytes from the front of out to its end.
void AlignRight(std::span<std::uint8_t> out, std::size_t length) {
  std::memmove(out.data() + out.size() - length, out.data(), length);
  std::memset(out.data(), 0, out.size() - length);
}

}  // namespace

bool RsaPublicBlock(const KeyObject& key, std::span<const std::uint8_t> block, std::span<std::uint8_t> out) {
  ThreadInstance* instance = CurrentThreadInstance();
  if (!instance || !IsBlockOfKey(key, block, out, instance->arithmetic)) return false;
  std::size_t length = 0;
  if (!crypto::RsaPublic(key.rsa.numbers, block, out, length, instance->arithmetic)) return false;
  AlignRight(out, length);
  return true;
}

bool RsaPrivateBlock(const KeyObject& key, std::span<const std::uint8_t> block, std::span<std::uint8_t> out) {
  ThreadInstance* instance = CurrentThreadInstance();
  if (key.head.kind != KeyKind::RsaPair || !instance || !IsBlockOfKey(key, block, out, instance->arithmetic))
    return false;
  GeneratorSource random;
  std::size_t length = 0;
  if (!crypto::RsaPrivate(key.rsa.numbers, block, out, length, instance->arithmetic, random)) return false;
  AlignRight(out, length);
  return true;
}

}  // namespace tv::csp
