// In-process session keys with chosen key bytes, and CPEncrypt / CPDecrypt
// calls over byte vectors, for the encryption tests.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstddef>
#include <vector>

#include "tests/support/byte_strings.h"

namespace tvtest {

struct CallResult {
  BOOL ok = FALSE;
  DWORD error = 0;   // the last error after the call
  DWORD length = 0;  // *pdwDataLen after the call
  Bytes buffer;      // the whole buffer after the call
  // The first `length` bytes of the buffer: what a successful call returned.
  Bytes Output() const { return Bytes(buffer.begin(), buffer.begin() + std::min<std::size_t>(length, buffer.size())); }
};

class CryptFixture : public testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;
  void TearDown() override;

  // A session key of `algorithm` (key length in the upper 16 bits of
  // flags) whose key buffer starts with `bytes`, or a fixed pattern when
  // bytes is empty; IV zero, chaining at its start.
  HCRYPTKEY Key(ALG_ID algorithm, const Bytes& bytes = {}, DWORD flags = 0);
  // An RSA signature key record without numbers: enough to be refused.
  HCRYPTKEY RsaKey();
  void SetParam(HCRYPTKEY key, DWORD param, DWORD value);
  DWORD BlockLength(HCRYPTKEY key);

  // One call over a buffer of max(data, bufferLength, 1) bytes (never a
  // null pbData).
  CallResult Encrypt(HCRYPTKEY key, const Bytes& data, BOOL final, DWORD bufferLength, HCRYPTHASH hash = 0);
  CallResult Decrypt(HCRYPTKEY key, const Bytes& data, BOOL final, HCRYPTHASH hash = 0);
  // Calls expected to succeed; the output (empty after a failure that the
  // test has already reported).
  Bytes Encrypted(HCRYPTKEY key, const Bytes& plain, BOOL final = TRUE, HCRYPTHASH hash = 0);
  Bytes Decrypted(HCRYPTKEY key, const Bytes& cipher, BOOL final = TRUE, HCRYPTHASH hash = 0);

  HCRYPTPROV provider_ = 0;

 private:
  std::vector<HCRYPTKEY> keys_;
};

}  // namespace tvtest
