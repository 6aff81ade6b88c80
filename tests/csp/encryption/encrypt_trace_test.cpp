// The trace lines of CPEncrypt and CPDecrypt, written to a log of the
// test's own: entry, key and hash lines, each refusal with its values, the
// result lines and the data dumps.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/trace_log.h"
#include "csp/front/cp_entries.h"
#include "csp/front/handles.h"
#include "csp/front/object_handles.h"
#include "tests/csp/encryption/crypt_fixture.h"
#include "tests/support/isolation.h"
#include "tests/support/log_marker.h"

namespace tvtest {
namespace {

std::string Hex(ULONG_PTR value) {
  char text[16];
  snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
  return text;
}

class EncryptTraceTest : public CryptFixture {
 protected:
  void SetUp() override {
    tv::ResetLog();
    ASSERT_TRUE(marker_.Write("5"));
    ASSERT_TRUE(tv::OpenLog(marker_.Tag().c_str(), nullptr));
    CryptFixture::SetUp();
  }
  void TearDown() override {
    CryptFixture::TearDown();
    tv::ResetLog();
  }
  std::string Log() const { return marker_.Text(); }

  HCRYPTHASH NewHash() {
    HCRYPTHASH hash = 0;
    EXPECT_TRUE(CPCreateHash(provider_, CALG_SHA1, 0, 0, &hash)) << std::hex << GetLastError();
    return hash;
  }
  std::string KeyTag(HCRYPTKEY key) { return Hex(tv::csp::KeyFromHandle(key)->head.tag); }
  std::string HashTag(HCRYPTHASH hash) { return Hex(tv::csp::TagOf(tv::csp::HandleKind::Hash, hash)); }

 private:
  LogMarker marker_{UniqueName("e")};
};

TEST_F(EncryptTraceTest, SuccessfulCallsTraceKeyHashResultAndData) {
  const HCRYPTKEY key = Key(CALG_DES);
  const HCRYPTHASH hash = NewHash();
  Bytes buffer = Sequence(32);
  DWORD length = 17;
  ASSERT_TRUE(CPEncrypt(provider_, key, hash, TRUE, 0, buffer.data(), &length, 32));
  ASSERT_TRUE(CPDecrypt(provider_, key, 0, TRUE, 0, buffer.data(), &length));
  const std::string hashTag = HashTag(hash);
  CPDestroyHash(provider_, hash);
  const std::string log = Log();
  const std::string provider = Hex(provider_) + ". " + Hex(tv::csp::TagOf(tv::csp::HandleKind::Provider, provider_));
  const std::string expected[] = {
      "CPEncrypt. 1. " + provider + ". " + Hex(key) + ". " + Hex(hash) + ". 00000001. 00000000. " +
          Hex(reinterpret_cast<ULONG_PTR>(buffer.data())) + ". 00000011. 00000020.",
      "CPEncrypt. 3. " + Hex(key) + ". " + KeyTag(key) + ". 00000001. FFFFFFFF. 00006601.",
      "CPEncrypt. 5. " + Hex(hash) + ". " + hashTag + ". 00008004. 00000014.",
      "CPEncrypt. 00000011.",
      "CPEncrypt. 00000023. 000102030405060708090A0B0C0D0E0F10.",
      "CPEncrypt. 11. 00000018",
      "CPEncrypt. 00000018.",
      "CPDecrypt. 1. " + provider + ". " + Hex(key) + ". 00000000. 00000001. 00000000. " +
          Hex(reinterpret_cast<ULONG_PTR>(buffer.data())) + ". 00000018.",
      "CPDecrypt. 3. " + Hex(key) + ". " + KeyTag(key) + ". 00000001. FFFFFFFF. 00006601.",
      "CPDecrypt. 13. 00000011.",
      "CPDecrypt. 00000023. 000102030405060708090A0B0C0D0E0F10.",
  };
  for (const std::string& line : expected) EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

TEST_F(EncryptTraceTest, RefusalsTraceTheirStepAndValues) {
  const HCRYPTKEY key = Key(CALG_DES), rsa = RsaKey(), cts = Key(CALG_DES), zero = Key(CALG_DES);
  SetParam(cts, KP_MODE, CRYPT_MODE_CTS);
  SetParam(zero, KP_PADDING, ZERO_PADDING);
  const HCRYPTHASH finished = NewHash();
  Bytes value(20);
  DWORD valueLength = 20;
  ASSERT_TRUE(CPGetHashParam(provider_, finished, HP_HASHVAL, value.data(), &valueLength, 0));

  Encrypt(key, Sequence(16), TRUE, 32, 0x1234);
  Encrypt(key, Sequence(17), TRUE, 23);
  Encrypt(key, Sequence(10), FALSE, 16);
  Encrypt(key, Sequence(16), FALSE, 16, finished);
  Encrypt(cts, Sequence(16), TRUE, 32);
  Decrypt(key, Sequence(12), TRUE);
  Decrypt(key, Sequence(16), FALSE, finished);
  Decrypt(cts, Sequence(16), TRUE);
  const Bytes badCount = Encrypted(Key(CALG_DES), Concat(Sequence(15), {0}), FALSE);
  Decrypt(key, badCount, TRUE);
  const Bytes unequalBytes = Encrypted(Key(CALG_DES), Concat(Sequence(13), {2, 3, 3}), FALSE);
  Decrypt(key, unequalBytes, TRUE);
  const Bytes noZeroEnd = Encrypted(Key(CALG_DES), Concat(Bytes(15), {1}), FALSE);
  Decrypt(zero, noZeroEnd, TRUE);
  Bytes buffer(32);
  for (bool encrypt : {true, false}) {
    DWORD length = 16;
    if (encrypt) {
      CPEncrypt(0, key, 0, TRUE, 0, buffer.data(), &length, 32);
      CPEncrypt(provider_, rsa, 0, TRUE, 0, buffer.data(), &length, 32);
      CPEncrypt(provider_, key, 0, TRUE, 1, buffer.data(), &length, 32);
      CPEncrypt(provider_, key, 0, TRUE, 0, buffer.data(), nullptr, 32);
    } else {
      CPDecrypt(0, key, 0, TRUE, 0, buffer.data(), &length);
      CPDecrypt(provider_, rsa, 0, TRUE, 0, buffer.data(), &length);
      CPDecrypt(provider_, key, 0, TRUE, 1, buffer.data(), &length);
      CPDecrypt(provider_, key, 0, TRUE, 0, buffer.data(), nullptr);
    }
  }
  const std::string finishedTag = HashTag(finished);
  CPDestroyHash(provider_, finished);

  const std::string log = Log();
  const std::string expected[] = {
      "CPEncrypt. 2. 00000000. 00000000.",
      "CPEncrypt. 4. " + Hex(rsa) + ". " + KeyTag(rsa) + ". 00000007.",
      "CPEncrypt. 6. 00001234. 00000000.",
      "CPEncrypt. 7. 80090009.",
      "CPEncrypt. 8. 00000017. 00000011. 00000008. 00000018.",
      "CPEncrypt. 9. 0000000A. 00000008.",
      "CPEncrypt. 10. 8009000C. " + Hex(finished) + ". " + finishedTag + ". ",
      "CPEncrypt. 12. 80090029. 00000005.",
      "CPEncrypt. 14. 00000057.",
      "CPDecrypt. 2. 00000000. 00000000.",
      "CPDecrypt. 4. " + Hex(rsa) + ". " + KeyTag(rsa) + ". 00000007.",
      "CPDecrypt. 7. 80090009.",
      "CPDecrypt. 8. 0000000C. 00000008. 00000004.",
      "CPDecrypt. 9. 8009000C.",
      "CPDecrypt. 10. 00000000. 00000008. 00000010.",
      "CPDecrypt. 11. 00000003. 00000002.",
      "CPDecrypt. 12. 00000001. 00000010.",
      "CPDecrypt. 14. 80090029. 00000005.",
      "CPDecrypt. 16. 00000057.",
  };
  for (const std::string& line : expected) EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

}  // namespace
}  // namespace tvtest
