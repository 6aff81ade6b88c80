#include "csp/crypto/objects/hmac.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "csp/crypto/cpu/wipe.h"

namespace tv::csp {

std::unique_ptr<HmacPads> HmacPads::FromKey(const KeyObject& key) {
  if (!key.IsSession()) {
    SetLastError(NTE_BAD_KEY);
    return nullptr;
  }
  std::unique_ptr<HmacPads> pads(new (std::nothrow) HmacPads);
  if (!pads) {
    SetLastError(NTE_NO_MEMORY);
    return nullptr;
  }
  const SessionKey& session = key.session;
  // The length is the caller's to change (RC2's effective key length goes
  // up to 1024 bits); the bytes read stay inside the key material.
  const std::size_t keyBytes = std::min<std::size_t>({session.keyLength / 8, session.maxLength / 8, kPadLength});
  memset(pads->inner_, 0x36, kPadLength);
  memset(pads->outer_, 0x5C, kPadLength);
  for (std::size_t i = 0; i < keyBytes; ++i) {
    pads->inner_[i] ^= session.keyBytes.Data()[i];
    pads->outer_[i] ^= session.keyBytes.Data()[i];
  }
  return pads;
}

HmacPads::~HmacPads() {
  crypto::SecureWipe(inner_, sizeof inner_);
  crypto::SecureWipe(outer_, sizeof outer_);
}

void HmacPads::Start(const crypto::HashAlgorithm& hash, void* context) const {
  hash.init(context);
  hash.update(context, std::span<const std::uint8_t>(inner_));
}

void HmacPads::Finish(const crypto::HashAlgorithm& hash, void* context, std::uint8_t* digest) const {
  std::uint8_t innerDigest[crypto::kMaxDigestSize];
  hash.final(context, innerDigest);
  hash.init(context);
  hash.update(context, std::span<const std::uint8_t>(outer_));
  hash.update(context, std::span<const std::uint8_t>(innerDigest, hash.digestSize));
  hash.final(context, digest);
  crypto::SecureWipe(innerDigest, sizeof innerDigest);
}

}  // namespace tv::csp
