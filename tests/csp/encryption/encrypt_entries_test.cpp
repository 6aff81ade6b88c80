// CPEncrypt and CPDecrypt called in-process: chaining across pieces,
// padding of the final piece and its check, length rules and size queries,
// the restart after a final piece, CTS, hashing on the way, and the
// handle, flag and argument checks.
#include <gtest/gtest.h>

#include <cstdio>

#include "csp/crypto/hash/hash.h"
#include "csp/front/cp_entries.h"
#include "tests/csp/encryption/crypt_fixture.h"

namespace tvtest {
namespace {

constexpr ALG_ID kBlockAlgorithms[] = {CALG_DES,    CALG_3DES,    CALG_3DES_112, CALG_RC2,
                                       CALG_AES_128, CALG_AES_192, CALG_AES_256};
constexpr DWORD kModes[] = {CRYPT_MODE_CBC, CRYPT_MODE_ECB, CRYPT_MODE_CFB, CRYPT_MODE_OFB};

class EncryptionTest : public CryptFixture {
 protected:
  // Whole blocks in non-final calls, one block at a time, then the rest
  // (possibly nothing) in a final call.
  Bytes EncryptInPieces(HCRYPTKEY key, const Bytes& plain) {
    const std::size_t block = BlockLength(key);
    const std::size_t whole = plain.size() - plain.size() % block;
    Bytes out;
    for (std::size_t at = 0; at < whole; at += block) out = Concat(out, Encrypted(key, Slice(plain, at, block), FALSE));
    return Concat(out, Encrypted(key, Slice(plain, whole, plain.size() - whole), TRUE));
  }
  // Every block but the last in non-final calls, the last in a final call.
  Bytes DecryptInPieces(HCRYPTKEY key, const Bytes& cipher) {
    const std::size_t block = BlockLength(key);
    Bytes out;
    for (std::size_t at = 0; at + block < cipher.size(); at += block)
      out = Concat(out, Decrypted(key, Slice(cipher, at, block), FALSE));
    return Concat(out, Decrypted(key, Slice(cipher, cipher.size() - block, block), TRUE));
  }
  // True when the key's chaining stands at its start: its next block
  // encrypts as a new key's does.
  bool AtStart(HCRYPTKEY key, ALG_ID algorithm) {
    const Bytes probe = Sequence(BlockLength(key) ? BlockLength(key) : 8, 0x70);
    return Encrypted(key, probe, FALSE) == Encrypted(Key(algorithm), probe, FALSE);
  }

  HCRYPTHASH NewHash() {
    HCRYPTHASH hash = 0;
    EXPECT_TRUE(CPCreateHash(provider_, CALG_SHA1, 0, 0, &hash)) << std::hex << GetLastError();
    return hash;
  }
  Bytes HashValue(HCRYPTHASH hash) {
    Bytes value(20);
    DWORD length = static_cast<DWORD>(value.size());
    EXPECT_TRUE(CPGetHashParam(provider_, hash, HP_HASHVAL, value.data(), &length, 0)) << std::hex << GetLastError();
    CPDestroyHash(provider_, hash);
    return value;
  }
};

Bytes Sha1(const Bytes& data) {
  alignas(8) std::uint8_t context[512];
  Bytes digest(tv::crypto::kSha1.digestSize);
  tv::crypto::kSha1.init(context);
  tv::crypto::kSha1.update(context, data);
  tv::crypto::kSha1.final(context, digest.data());
  return digest;
}

TEST_F(EncryptionTest, PiecesChainLikeOneCall) {
  for (ALG_ID algorithm : kBlockAlgorithms) {
    for (DWORD mode : kModes) {
      const HCRYPTKEY one = Key(algorithm), pieces = Key(algorithm);
      for (HCRYPTKEY key : {one, pieces}) SetParam(key, KP_MODE, mode);
      const DWORD block = BlockLength(one);
      for (DWORD length : {0ul, 1ul, block - 1, block, block + 1, 3 * block + 5}) {
        SCOPED_TRACE(testing::Message() << std::hex << algorithm << " mode " << mode << " length " << std::dec
                                        << length);
        const Bytes plain = Sequence(length);
        const Bytes cipher = Encrypted(one, plain);
        ASSERT_EQ(cipher.size(), length - length % block + block);
        EXPECT_EQ(EncryptInPieces(pieces, plain), cipher);
        EXPECT_EQ(Decrypted(one, cipher), plain);
        EXPECT_EQ(DecryptInPieces(pieces, cipher), plain);
      }
    }
  }
}

TEST_F(EncryptionTest, StreamPiecesOfAnyLengthChainLikeOneCall) {
  const HCRYPTKEY one = Key(CALG_RC4), pieces = Key(CALG_RC4);
  const Bytes plain = Sequence(45);
  const Bytes cipher = Encrypted(one, plain);
  ASSERT_EQ(cipher.size(), plain.size());
  Bytes split = Encrypted(pieces, Slice(plain, 0, 7), FALSE);
  split = Concat(split, Encrypted(pieces, Slice(plain, 7, 13), FALSE));
  split = Concat(split, Encrypted(pieces, Slice(plain, 20, 25), TRUE));
  EXPECT_EQ(split, cipher);
  EXPECT_EQ(Decrypted(one, cipher), plain);
}

TEST_F(EncryptionTest, FinalPieceIsPaddedToWholeBlocks) {
  const struct {
    DWORD padding;
    DWORD length;
    DWORD encrypted;
    BYTE padByte;
    DWORD decrypted;  // what decryption with the same padding returns
  } cases[] = {
      {PKCS5_PADDING, 16, 24, 8, 16}, {PKCS5_PADDING, 0, 8, 8, 0},   {PKCS5_PADDING, 13, 16, 3, 13},
      {ZERO_PADDING, 13, 16, 0, 16},  {ZERO_PADDING, 16, 24, 0, 24}, {RANDOM_PADDING, 13, 16, 3, 16},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "padding " << c.padding << " length " << c.length);
    const HCRYPTKEY key = Key(CALG_DES), raw = Key(CALG_DES);
    SetParam(key, KP_PADDING, c.padding);
    SetParam(raw, KP_PADDING, RANDOM_PADDING);  // nothing checked or stripped
    const Bytes plain = Sequence(c.length, 0x30);
    const Bytes cipher = Encrypted(key, plain);
    ASSERT_EQ(cipher.size(), c.encrypted);
    const Bytes padded = Concat(plain, Bytes(c.encrypted - c.length, c.padByte));
    EXPECT_EQ(Decrypted(raw, cipher), padded);
    EXPECT_EQ(Decrypted(key, cipher), Slice(padded, 0, c.decrypted));
  }
}

TEST_F(EncryptionTest, EncryptLengthRules) {
  const struct {
    const char* name;
    ALG_ID algorithm;
    BOOL final;
    DWORD length, bufferLength;
    DWORD error;  // 0: success
    DWORD resultLength;
  } cases[] = {
      {"padded result fits exactly", CALG_DES, TRUE, 17, 24, 0, 24},
      {"one byte short", CALG_DES, TRUE, 17, 23, ERROR_MORE_DATA, 24},
      {"whole blocks still gain a block", CALG_DES, TRUE, 16, 16, ERROR_MORE_DATA, 24},
      {"AES block", CALG_AES_128, TRUE, 16, 31, ERROR_MORE_DATA, 32},
      {"buffer shorter than the data", CALG_DES, FALSE, 16, 8, ERROR_MORE_DATA, 16},
      {"partial block before the end", CALG_DES, FALSE, 10, 16, static_cast<DWORD>(NTE_BAD_DATA), 10},
      {"stream, buffer shorter than the data", CALG_RC4, TRUE, 10, 5, ERROR_MORE_DATA, 10},
      {"stream, any length before the end", CALG_RC4, FALSE, 10, 10, 0, 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const HCRYPTKEY key = Key(c.algorithm);
    const Bytes plain = Sequence(c.length, 0x40);
    const CallResult r = Encrypt(key, plain, c.final, c.bufferLength);
    EXPECT_EQ(r.ok, c.error == 0) << std::hex << r.error;
    EXPECT_EQ(r.length, c.resultLength);
    if (c.error) {
      EXPECT_EQ(r.error, c.error);
      EXPECT_EQ(Slice(r.buffer, 0, c.length), plain);
      EXPECT_TRUE(AtStart(key, c.algorithm));
    }
  }
}

TEST_F(EncryptionTest, NullDataAsksForTheLengthAndLeavesTheKey) {
  const struct {
    const char* name;
    bool encrypt;
    ALG_ID algorithm;
    BOOL final;
    DWORD length;
    DWORD error;
    DWORD answer;
  } cases[] = {
      {"final DES piece", true, CALG_DES, TRUE, 17, 0, 24},
      {"empty final piece", true, CALG_DES, TRUE, 0, 0, 8},
      {"final AES piece", true, CALG_AES_256, TRUE, 16, 0, 32},
      {"non-final piece", true, CALG_DES, FALSE, 16, 0, 16},
      {"non-final partial block", true, CALG_DES, FALSE, 12, static_cast<DWORD>(NTE_BAD_DATA), 12},
      {"stream", true, CALG_RC4, TRUE, 10, 0, 10},
      {"padded length beyond 32 bits", true, CALG_DES, TRUE, 0xFFFFFFF9, static_cast<DWORD>(NTE_BAD_LEN), 0xFFFFFFF9},
      {"decryption", false, CALG_DES, TRUE, 16, 0, 16},
      {"decryption of a partial block", false, CALG_DES, TRUE, 12, static_cast<DWORD>(NTE_BAD_DATA), 12},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const HCRYPTKEY key = Key(c.algorithm);
    DWORD length = c.length;
    const BOOL ok = c.encrypt ? CPEncrypt(provider_, key, 0, c.final, 0, nullptr, &length, 0)
                              : CPDecrypt(provider_, key, 0, c.final, 0, nullptr, &length);
    EXPECT_EQ(ok, c.error == 0) << std::hex << GetLastError();
    if (c.error) {
      EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(length, c.answer);
    EXPECT_TRUE(AtStart(key, c.algorithm));
  }
}

TEST_F(EncryptionTest, DecryptNeedsWholeBlocksAndAFinalBlock) {
  const struct {
    const char* name;
    ALG_ID algorithm;
    DWORD padding;
    BOOL final;
    DWORD length;
    DWORD error;
  } cases[] = {
      {"partial block, final", CALG_DES, PKCS5_PADDING, TRUE, 12, static_cast<DWORD>(NTE_BAD_DATA)},
      {"partial block, not final", CALG_DES, PKCS5_PADDING, FALSE, 12, static_cast<DWORD>(NTE_BAD_DATA)},
      {"half an AES block", CALG_AES_128, PKCS5_PADDING, TRUE, 8, static_cast<DWORD>(NTE_BAD_DATA)},
      {"empty final piece, PKCS#5", CALG_DES, PKCS5_PADDING, TRUE, 0, static_cast<DWORD>(NTE_BAD_DATA)},
      {"empty final piece, zero padding", CALG_DES, ZERO_PADDING, TRUE, 0, static_cast<DWORD>(NTE_BAD_DATA)},
      {"empty final piece, unchecked padding", CALG_DES, RANDOM_PADDING, TRUE, 0, 0},
      {"stream, any length", CALG_RC4, PKCS5_PADDING, TRUE, 5, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const HCRYPTKEY key = Key(c.algorithm);
    if (c.algorithm != CALG_RC4) SetParam(key, KP_PADDING, c.padding);
    const Bytes cipher = Sequence(c.length, 0x50);
    const CallResult r = Decrypt(key, cipher, c.final);
    EXPECT_EQ(r.ok, c.error == 0) << std::hex << r.error;
    if (c.error) {
      EXPECT_EQ(r.error, c.error);
      EXPECT_EQ(r.length, c.length);
      EXPECT_EQ(Slice(r.buffer, 0, c.length), cipher);
    }
  }
}

TEST_F(EncryptionTest, BadPaddingIsRefusedAndTheKeyRestarts) {
  const struct {
    const char* name;
    DWORD padding;
    Bytes lastBlock;  // the plaintext of the last block, as decryption finds it
    DWORD error;
    DWORD length;  // returned on success
  } cases[] = {
      {"pad count zero", PKCS5_PADDING, {1, 1, 1, 1, 1, 1, 1, 0}, static_cast<DWORD>(NTE_BAD_DATA), 0},
      {"pad count above the block", PKCS5_PADDING, {9, 9, 9, 9, 9, 9, 9, 9}, static_cast<DWORD>(NTE_BAD_DATA), 0},
      {"pad count far above the block", PKCS5_PADDING, {0, 0, 0, 0, 0, 0, 0, 0xFF}, static_cast<DWORD>(NTE_BAD_DATA), 0},
      {"unequal pad bytes", PKCS5_PADDING, {0, 0, 0, 0, 0, 2, 3, 3}, static_cast<DWORD>(NTE_BAD_DATA), 0},
      {"a whole block of padding", PKCS5_PADDING, {8, 8, 8, 8, 8, 8, 8, 8}, 0, 8},
      {"one pad byte", PKCS5_PADDING, {0, 0, 0, 0, 0, 0, 0, 1}, 0, 15},
      {"zero padding ends in a set byte", ZERO_PADDING, {0, 0, 0, 0, 0, 0, 0, 1}, static_cast<DWORD>(NTE_BAD_DATA), 0},
      {"zero padding keeps its zeros", ZERO_PADDING, {7, 0, 0, 0, 0, 0, 0, 0}, 0, 16},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const HCRYPTKEY key = Key(CALG_DES), maker = Key(CALG_DES);
    SetParam(key, KP_PADDING, c.padding);
    const Bytes plain = Concat(Sequence(8, 0x61), c.lastBlock);
    const Bytes cipher = Encrypted(maker, plain, FALSE);  // no padding added
    const CallResult r = Decrypt(key, cipher, TRUE);
    EXPECT_EQ(r.ok, c.error == 0) << std::hex << r.error;
    if (c.error) {
      EXPECT_EQ(r.error, c.error);
      EXPECT_EQ(r.length, cipher.size());
      // The key restarted: the same ciphertext decrypts again from the IV.
      EXPECT_EQ(Decrypted(key, cipher, FALSE), plain);
    } else {
      EXPECT_EQ(r.Output(), Slice(plain, 0, c.length));
    }
  }
}

TEST_F(EncryptionTest, FinalPieceRestartsTheChaining) {
  for (ALG_ID algorithm : {CALG_DES, CALG_AES_128, CALG_RC4}) {
    SCOPED_TRACE(testing::Message() << std::hex << algorithm);
    const HCRYPTKEY key = Key(algorithm);
    const Bytes plain = Sequence(32);
    const Bytes first = Encrypted(key, plain);
    EXPECT_EQ(Encrypted(key, plain), first);
    EXPECT_NE(Encrypted(key, plain, FALSE), Encrypted(key, plain, FALSE));
    Encrypted(key, {}, TRUE);
    EXPECT_EQ(Decrypted(key, first), plain);
    EXPECT_EQ(Decrypted(key, first), plain);
    EXPECT_TRUE(AtStart(key, algorithm));
  }
}

TEST_F(EncryptionTest, CtsModeIsRefusedNotRunUnchained) {
  for (ALG_ID algorithm : {CALG_DES, CALG_AES_128}) {
    SCOPED_TRACE(testing::Message() << std::hex << algorithm);
    const HCRYPTKEY key = Key(algorithm);
    SetParam(key, KP_MODE, CRYPT_MODE_CTS);
    const DWORD block = BlockLength(key);
    const Bytes plain = Sequence(3 * block + 1);
    const CallResult encrypted = Encrypt(key, plain, TRUE, 64);
    EXPECT_FALSE(encrypted.ok);
    EXPECT_EQ(encrypted.error, static_cast<DWORD>(NTE_NOT_SUPPORTED));
    EXPECT_EQ(encrypted.length, plain.size());
    EXPECT_EQ(Slice(encrypted.buffer, 0, plain.size()), plain);
    DWORD length = 5;
    EXPECT_FALSE(CPEncrypt(provider_, key, 0, TRUE, 0, nullptr, &length, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_NOT_SUPPORTED));
    const Bytes cipher = Sequence(2 * block);
    const CallResult decrypted = Decrypt(key, cipher, TRUE);
    EXPECT_FALSE(decrypted.ok);
    EXPECT_EQ(decrypted.error, static_cast<DWORD>(NTE_NOT_SUPPORTED));
    EXPECT_EQ(decrypted.buffer, cipher);
    SetParam(key, KP_MODE, CRYPT_MODE_CBC);
    EXPECT_TRUE(AtStart(key, algorithm));
  }
}

TEST_F(EncryptionTest, HandlesFlagsAndLengthPointerAreChecked) {
  const HCRYPTKEY key = Key(CALG_DES), rsa = RsaKey(), gone = Key(CALG_DES);
  ASSERT_TRUE(CPDestroyKey(provider_, gone));
  const struct {
    const char* name;
    HCRYPTPROV provider;
    HCRYPTKEY key;
    HCRYPTHASH hash;
    DWORD flags;
    bool lengthGiven;
    DWORD error;
  } cases[] = {
      {"no provider", 0, key, 0, 0, true, static_cast<DWORD>(NTE_BAD_UID)},
      {"no key", provider_, 0, 0, 0, true, static_cast<DWORD>(NTE_BAD_KEY)},
      {"RSA signature key", provider_, rsa, 0, 0, true, static_cast<DWORD>(NTE_BAD_KEY)},
      {"destroyed key", provider_, gone, 0, 0, true, static_cast<DWORD>(NTE_BAD_KEY)},
      {"key handle as hash", provider_, key, key, 0, true, static_cast<DWORD>(NTE_BAD_HASH)},
      {"unknown hash handle", provider_, key, 0x1234, 0, true, static_cast<DWORD>(NTE_BAD_HASH)},
      {"flags", provider_, key, 0, 1, true, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {"OAEP with a session key", provider_, key, 0, CRYPT_OAEP, true, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {"no length pointer", provider_, key, 0, 0, false, ERROR_INVALID_PARAMETER},
  };
  const Bytes plain = Sequence(16);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (bool encrypt : {true, false}) {
      Bytes buffer = plain;
      buffer.resize(32);
      DWORD length = 16;
      DWORD* lengthPointer = c.lengthGiven ? &length : nullptr;
      const BOOL ok = encrypt ? CPEncrypt(c.provider, c.key, c.hash, TRUE, c.flags, buffer.data(), lengthPointer, 32)
                              : CPDecrypt(c.provider, c.key, c.hash, TRUE, c.flags, buffer.data(), lengthPointer);
      EXPECT_FALSE(ok) << encrypt;
      EXPECT_EQ(GetLastError(), c.error) << encrypt;
      EXPECT_EQ(Slice(buffer, 0, 16), plain) << encrypt;
      EXPECT_EQ(length, 16u) << encrypt;
    }
  }
  EXPECT_TRUE(AtStart(key, CALG_DES));
}

TEST_F(EncryptionTest, TwoKeyTripleDesIsThreeKeyWithK3EqualToK1) {
  const Bytes k1k2 = Sequence(16, 0x41);
  const Bytes k1k2k1 = Concat(k1k2, Slice(k1k2, 0, 8));
  const Bytes plain = Sequence(40);
  EXPECT_EQ(Encrypted(Key(CALG_3DES_112, k1k2), plain), Encrypted(Key(CALG_3DES, k1k2k1), plain));
  EXPECT_NE(Encrypted(Key(CALG_3DES_112, k1k2), plain), Encrypted(Key(CALG_3DES, Concat(k1k2, Sequence(8))), plain));
}

TEST_F(EncryptionTest, HashWhileEncryptingSeesWhatDecryptionReturns) {
  const struct {
    const char* name;
    ALG_ID algorithm;
    DWORD padding;
    DWORD length;
    Bytes padSeen;  // pad bytes the hash sees after the plaintext
  } cases[] = {
      {"PKCS#5, empty", CALG_DES, PKCS5_PADDING, 0, {}},
      {"PKCS#5, partial block", CALG_DES, PKCS5_PADDING, 13, {}},
      {"PKCS#5, whole blocks", CALG_AES_128, PKCS5_PADDING, 48, {}},
      {"zero padding", CALG_DES, ZERO_PADDING, 13, {0, 0, 0}},
      {"random padding", CALG_DES, RANDOM_PADDING, 13, {3, 3, 3}},
      {"stream", CALG_RC4, 0, 29, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const HCRYPTKEY key = Key(c.algorithm);
    if (c.padding) SetParam(key, KP_PADDING, c.padding);
    const Bytes plain = Sequence(c.length, 0x21);
    const HCRYPTHASH encryptHash = NewHash(), decryptHash = NewHash();
    const Bytes cipher = Encrypted(key, plain, TRUE, encryptHash);
    Decrypted(key, cipher, TRUE, decryptHash);
    const Bytes expected = Sha1(Concat(plain, c.padSeen));
    EXPECT_EQ(HashValue(encryptHash), expected);
    EXPECT_EQ(HashValue(decryptHash), expected);
  }
}

TEST_F(EncryptionTest, HashOverPiecesEqualsHashOverTheMessage) {
  const HCRYPTKEY key = Key(CALG_AES_192);
  const Bytes plain = Sequence(77, 0x10);
  const HCRYPTHASH encryptHash = NewHash(), decryptHash = NewHash();
  const Bytes first = Encrypted(key, Slice(plain, 0, 32), FALSE, encryptHash);
  const Bytes cipher = Concat(first, Encrypted(key, Slice(plain, 32, 45), TRUE, encryptHash));
  Decrypted(key, Slice(cipher, 0, 64), FALSE, decryptHash);
  Decrypted(key, Slice(cipher, 64, 16), TRUE, decryptHash);
  EXPECT_EQ(HashValue(encryptHash), Sha1(plain));
  EXPECT_EQ(HashValue(decryptHash), Sha1(plain));
}

TEST_F(EncryptionTest, FinishedHashRefusesBeforeTheMessageIsTouched) {
  const HCRYPTKEY key = Key(CALG_DES);
  const HCRYPTHASH finished = NewHash();
  Bytes value(20);
  DWORD valueLength = 20;
  ASSERT_TRUE(CPGetHashParam(provider_, finished, HP_HASHVAL, value.data(), &valueLength, 0));
  const Bytes data = Sequence(16);
  const CallResult encrypted = Encrypt(key, data, FALSE, 16, finished);
  EXPECT_FALSE(encrypted.ok);
  EXPECT_EQ(encrypted.error, static_cast<DWORD>(NTE_BAD_HASH_STATE));
  EXPECT_EQ(encrypted.buffer, data);
  const CallResult decrypted = Decrypt(key, data, FALSE, finished);
  EXPECT_FALSE(decrypted.ok);
  EXPECT_EQ(decrypted.error, static_cast<DWORD>(NTE_BAD_HASH_STATE));
  EXPECT_EQ(decrypted.buffer, data);
  EXPECT_TRUE(AtStart(key, CALG_DES));
  CPDestroyHash(provider_, finished);
}

}  // namespace
}  // namespace tvtest
