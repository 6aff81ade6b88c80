#include "tests/csp/encryption/crypt_fixture.h"

#include <algorithm>
#include <cstring>

#include "csp/crypto/objects/key_object.h"
#include "csp/front/cp_entries.h"
#include "csp/front/object_handles.h"
#include "csp/front/process_state.h"

namespace tvtest {
namespace {

struct NoRandom final : tv::crypto::RandomSource {
  bool Fill(std::span<std::uint8_t>) override { return true; }
};

}  // namespace

void CryptFixture::SetUpTestSuite() { tv::csp::InitializeProcessState(); }

void CryptFixture::SetUp() {
  ASSERT_TRUE(CPAcquireContext(&provider_, nullptr, CRYPT_VERIFYCONTEXT, nullptr)) << std::hex << GetLastError();
}

void CryptFixture::TearDown() {
  for (HCRYPTKEY key : keys_) CPDestroyKey(provider_, key);
  CPReleaseContext(provider_, 0);
}

HCRYPTKEY CryptFixture::Key(ALG_ID algorithm, const Bytes& bytes, DWORD flags) {
  NoRandom noRandom;
  tv::csp::KeyObject* key = tv::csp::CreateSessionKey(algorithm, flags, noRandom);
  if (!key) {
    ADD_FAILURE() << "no key " << std::hex << algorithm << " " << GetLastError();
    return 0;
  }
  tv::csp::SessionKey& session = key->session;
  const std::size_t size = session.maxLength / 8;
  for (std::size_t i = 0; i < size; ++i) session.keyBytes.Data()[i] = static_cast<BYTE>(0x5A + 37 * i);
  std::memcpy(session.keyBytes.Data(), bytes.data(), std::min(bytes.size(), size));
  EXPECT_TRUE(session.Setup(true));
  const HCRYPTKEY handle = tv::csp::IssueKeyHandle(key);
  keys_.push_back(handle);
  return handle;
}

HCRYPTKEY CryptFixture::RsaKey() {
  tv::csp::KeyObject* key = tv::csp::CreateRsaKey(tv::csp::KeyKind::RsaPair, CALG_RSA_SIGN, 1024, 0);
  const HCRYPTKEY handle = tv::csp::IssueKeyHandle(key);
  keys_.push_back(handle);
  return handle;
}

void CryptFixture::SetParam(HCRYPTKEY key, DWORD param, DWORD value) {
  EXPECT_TRUE(CPSetKeyParam(provider_, key, param, reinterpret_cast<BYTE*>(&value), 0))
      << param << " " << std::hex << GetLastError();
}

DWORD CryptFixture::BlockLength(HCRYPTKEY key) { return tv::csp::KeyFromHandle(key)->session.blockLength; }

CallResult CryptFixture::Encrypt(HCRYPTKEY key, const Bytes& data, BOOL final, DWORD bufferLength, HCRYPTHASH hash) {
  CallResult r;
  r.buffer = data;
  // Never empty, so that pbData is never null (null asks for the length).
  r.buffer.resize(std::max<std::size_t>({data.size(), bufferLength, 1}));
  r.length = static_cast<DWORD>(data.size());
  r.ok = CPEncrypt(provider_, key, hash, final, 0, r.buffer.data(), &r.length, bufferLength);
  r.error = GetLastError();
  return r;
}

CallResult CryptFixture::Decrypt(HCRYPTKEY key, const Bytes& data, BOOL final, HCRYPTHASH hash) {
  CallResult r;
  r.buffer = data;
  r.buffer.resize(std::max<std::size_t>(data.size(), 1));
  r.length = static_cast<DWORD>(data.size());
  r.ok = CPDecrypt(provider_, key, hash, final, 0, r.buffer.data(), &r.length);
  r.error = GetLastError();
  return r;
}

Bytes CryptFixture::Encrypted(HCRYPTKEY key, const Bytes& plain, BOOL final, HCRYPTHASH hash) {
  const CallResult r = Encrypt(key, plain, final, static_cast<DWORD>(plain.size()) + 32, hash);
  EXPECT_TRUE(r.ok) << std::hex << r.error;
  return r.ok ? r.Output() : Bytes();
}

Bytes CryptFixture::Decrypted(HCRYPTKEY key, const Bytes& cipher, BOOL final, HCRYPTHASH hash) {
  const CallResult r = Decrypt(key, cipher, final, hash);
  EXPECT_TRUE(r.ok) << std::hex << r.error;
  return r.ok ? r.Output() : Bytes();
}

}  // namespace tvtest
