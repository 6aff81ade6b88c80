#include "hash_fixture.h"

#include <algorithm>
#include <cstring>

#include "csp/crypto/cpu/wipe.h"
#include "csp/crypto/objects/key_object.h"
#include "csp/front/cp_entries.h"
#include "csp/front/handles.h"
#include "csp/front/object_handles.h"
#include "csp/front/process_state.h"

namespace tvtest {
namespace {

using tv::csp::HandleKind;

constexpr std::uint32_t kTestTag = 0x7A5C1234;
constexpr std::size_t kPadLength = 64;

// Salt for keys made with CRYPT_CREATE_SALT: a fixed pattern.
class PatternRandom final : public tv::crypto::RandomSource {
 public:
  bool Fill(std::span<std::uint8_t> out) override {
    for (std::uint8_t& byte : out) byte = static_cast<std::uint8_t>(next_++ * 37 + 11);
    return true;
  }

 private:
  std::uint8_t next_ = 0;
};

}  // namespace

Bytes Pattern(std::size_t length, std::uint8_t seed) {
  Bytes bytes(length);
  std::uint32_t x = seed * 2654435761u + 12345;
  for (std::uint8_t& byte : bytes) {
    x = x * 1103515245u + 12345;
    byte = static_cast<std::uint8_t>(x >> 16);
  }
  return bytes;
}

Bytes Digest(const tv::crypto::HashAlgorithm& algorithm, std::span<const std::uint8_t> data) {
  tv::crypto::WipingBuffer context(algorithm.contextSize);
  Bytes digest(algorithm.digestSize);
  algorithm.init(context.Data());
  algorithm.update(context.Data(), data);
  algorithm.final(context.Data(), digest.data());
  return digest;
}

Bytes Hmac64(const tv::crypto::HashAlgorithm& algorithm, std::span<const std::uint8_t> key,
             std::span<const std::uint8_t> data) {
  Bytes inner(kPadLength, 0x36), outer(kPadLength, 0x5C);
  for (std::size_t i = 0; i < key.size(); ++i) {
    inner[i] ^= key[i];
    outer[i] ^= key[i];
  }
  return Digest(algorithm, Concat(outer, Digest(algorithm, Concat(inner, data))));
}

Bytes CbcMacOf(const tv::crypto::CipherAlgorithm& cipher, std::span<const std::uint8_t> key,
               std::uint32_t lengthWord, std::span<const std::uint8_t> data) {
  const std::size_t block = cipher.blockSize;
  Bytes padded(data.begin(), data.end());
  padded.resize(std::max(block, (data.size() + block - 1) / block * block), 0);
  tv::crypto::WipingBuffer state(cipher.stateSize);
  EXPECT_TRUE(cipher.setup(state.Data(), key, lengthWord, {}));
  EXPECT_TRUE(cipher.encrypt(state.Data(), padded, tv::crypto::CipherMode::Cbc));
  return Bytes(padded.end() - block, padded.end());
}

DWORD ErrorOf(BOOL result) { return result ? 0 : GetLastError(); }

void HashFixture::SetUp() {
  tv::csp::HandleTag = kTestTag;
  memcpy(provider_ + tv::csp::TagOffset(HandleKind::Provider), &kTestTag, sizeof kTestTag);
  tv::csp::RegisterHandle(HandleKind::Provider, provider_);
}

void HashFixture::TearDown() {
  for (HCRYPTHASH hash : hashes_) {
    if (tv::csp::IsValidHandle(HandleKind::Hash, hash)) {
      EXPECT_TRUE(CPDestroyHash(Provider(), hash));
    }
  }
  for (HCRYPTKEY key : keys_)
    if (tv::csp::IsValidHandle(HandleKind::Key, key)) tv::csp::DestroyKey(tv::csp::KeyFromHandle(key));
  tv::csp::UnregisterHandle(HandleKind::Provider, provider_);
  tv::csp::HandleTag = 0;
}

HCRYPTPROV HashFixture::Provider() const { return reinterpret_cast<HCRYPTPROV>(provider_); }

HCRYPTKEY HashFixture::SessionKey(ALG_ID algorithm, std::span<const std::uint8_t> bytes, DWORD flags) {
  PatternRandom random;
  tv::csp::KeyObject* key = tv::csp::CreateSessionKey(algorithm, flags, random);
  if (!key) {
    ADD_FAILURE() << "no session key of " << std::hex << algorithm << ": " << GetLastError();
    return 0;
  }
  EXPECT_LE(bytes.size(), key->session.keyBytes.Size());
  memcpy(key->session.keyBytes.Data(), bytes.data(), std::min(bytes.size(), key->session.keyBytes.Size()));
  EXPECT_TRUE(key->session.Setup(true)) << std::hex << algorithm;
  keys_.push_back(tv::csp::IssueKeyHandle(key));
  return keys_.back();
}

HCRYPTKEY HashFixture::RsaKey() {
  tv::csp::KeyObject* key = tv::csp::CreateRsaKey(tv::csp::KeyKind::RsaPair, CALG_RSA_SIGN, 1024, 0);
  if (!key) {
    ADD_FAILURE() << "no RSA key: " << GetLastError();
    return 0;
  }
  keys_.push_back(tv::csp::IssueKeyHandle(key));
  return keys_.back();
}

HCRYPTHASH HashFixture::Create(ALG_ID algorithm, HCRYPTKEY key) {
  HCRYPTHASH hash = 0;
  if (!CPCreateHash(Provider(), algorithm, key, 0, &hash)) return 0;
  hashes_.push_back(hash);
  return hash;
}

HCRYPTHASH HashFixture::Duplicate(HCRYPTHASH hash) {
  HCRYPTHASH copy = 0;
  if (!CPDuplicateHash(Provider(), hash, nullptr, 0, &copy)) return 0;
  hashes_.push_back(copy);
  return copy;
}

BOOL HashFixture::Feed(HCRYPTHASH hash, std::span<const std::uint8_t> data, DWORD flags) {
  return CPHashData(Provider(), hash, data.data(), static_cast<DWORD>(data.size()), flags);
}

BOOL HashFixture::FeedInPieces(HCRYPTHASH hash, std::span<const std::uint8_t> data, std::size_t piece) {
  for (std::size_t at = 0; at < data.size(); at += piece)
    if (!Feed(hash, data.subspan(at, std::min(piece, data.size() - at)))) return FALSE;
  return TRUE;
}

BOOL HashFixture::SetHmacInfo(HCRYPTHASH hash, ALG_ID inner) {
  HMAC_INFO info = {};
  info.HashAlgid = inner;
  return CPSetHashParam(Provider(), hash, HP_HMAC_INFO, reinterpret_cast<BYTE*>(&info), 0);
}

Bytes HashFixture::Value(HCRYPTHASH hash) {
  DWORD length = 0;
  if (!CPGetHashParam(Provider(), hash, HP_HASHVAL, nullptr, &length, 0)) return {};
  Bytes value(length);
  if (!CPGetHashParam(Provider(), hash, HP_HASHVAL, value.data(), &length, 0)) return {};
  value.resize(length);
  return value;
}

DWORD HashFixture::Word(HCRYPTHASH hash, DWORD param) {
  DWORD value = 0, length = sizeof value;
  if (!CPGetHashParam(Provider(), hash, param, reinterpret_cast<BYTE*>(&value), &length, 0)) return 0xFFFFFFFF;
  EXPECT_EQ(length, sizeof value);
  return value;
}

Bytes HashFixture::DigestOf(ALG_ID algorithm, std::span<const std::uint8_t> data, HCRYPTKEY key) {
  const HCRYPTHASH hash = Create(algorithm, key);
  if (!hash || !Feed(hash, data)) return {};
  return Value(hash);
}

Bytes HashFixture::HmacOf(ALG_ID inner, HCRYPTKEY key, std::span<const std::uint8_t> data) {
  const HCRYPTHASH hash = Create(CALG_HMAC, key);
  if (!hash || !SetHmacInfo(hash, inner) || !Feed(hash, data)) return {};
  return Value(hash);
}

}  // namespace tvtest
