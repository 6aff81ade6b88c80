// Symmetric encryption through CryptoAPI, our provider next to the
// platform's "Microsoft Enhanced Cryptographic Provider v1.0" (type 1) and
// "Microsoft Enhanced RSA and AES Cryptographic Provider" (type 24), as
// Wine implements them. Keys are derived in both from the same SHA-1 hash;
// each must encrypt as the other does and decrypt the other's ciphertext.
//
// What the peers lack or do otherwise, each checked below:
// - OFB: the peers refuse CRYPT_MODE_OFB (NTE_BAD_ALGID); our OFB is checked
//   against OFB built from the peer's single-block ECB encryptions.
// - CFB: the peers feed back 8 bits per step whatever KP_MODE_BITS says;
//   ours feeds back one whole block. Our CFB is checked against whole-block
//   CFB built from the peer's ECB, and the peers' against 8-bit CFB.
// - ZERO_PADDING and RANDOM_PADDING: the peers refuse them in KP_PADDING.
// - A null buffer on decryption: CryptoAPI refuses it itself
//   (ERROR_INVALID_PARAMETER) before any provider sees it; called directly,
//   ours answers the length (the plaintext never needs more room than the
//   ciphertext).
// - A non-final decryption of a partial block: the peers accept it; ours
//   refuses it (NTE_BAD_DATA) as it refuses to encrypt one.
// - CRYPT_MODE_CTS: the peers answer NTE_BAD_ALGID; ours NTE_NOT_SUPPORTED.
// - AES-128 from a SHA-1 hash: the peers always stretch a non-SHA-2 hash
//   with the 0x36/0x5C construction for AES; ours stretches only when the
//   key needs more bytes than the hash has, so it takes the first 16 digest
//   bytes. The AES keys are therefore derived from SHA-256 (used as it is
//   by both) for the comparisons, and the SHA-1 case is checked on its own.
// - A final decryption of no bytes: the peers read the pad count before the
//   buffer and may crash, so it is not asked of them; ours refuses it.
// - RC4 with fewer than 128 bits: the peers give such keys 11 zero salt
//   bytes and key RC4 with 16 bytes; our RC4 keys have no salt. Ours then
//   matches the peers' keys derived with CRYPT_NO_SALT.
// - KP_EFFECTIVE_KEYLEN: our key length and RC2 effective length are one
//   value, so a key without salt bytes keys RC2 with only effective / 8 of
//   its bytes. Ours then matches the peers' key of that length derived
//   with CRYPT_NO_SALT. On a salted key (RC2 below 128 bits) the key bytes
//   stay and only the effective length changes, as in the peers.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "tests/csp/encryption/capi_handles.h"
#include "tests/support/byte_strings.h"

namespace {

using tvtest::Bytes;

constexpr char kOurProvider[] = "Tavrin RSA Cryptographic Provider v1.0";
constexpr char kSecret[] = "the same secret in every provider";

using tvtest::Concat;
using tvtest::Context;
using tvtest::Key;
using tvtest::Sequence;
using tvtest::Slice;

HCRYPTHASH NewHash(HCRYPTPROV provider, ALG_ID algorithm = CALG_SHA1) {
  HCRYPTHASH hash = 0;
  EXPECT_TRUE(CryptCreateHash(provider, algorithm, 0, 0, &hash)) << std::hex << GetLastError();
  return hash;
}

Bytes HashValue(HCRYPTHASH hash) {
  Bytes value(64);
  DWORD length = static_cast<DWORD>(value.size());
  EXPECT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, value.data(), &length, 0)) << std::hex << GetLastError();
  CryptDestroyHash(hash);
  value.resize(length);
  return value;
}

// A key derived from the hash of kSecret.
Key Derive(HCRYPTPROV provider, ALG_ID algorithm, DWORD flags, ALG_ID hashAlgorithm = CALG_SHA1) {
  const HCRYPTHASH hash = NewHash(provider, hashAlgorithm);
  EXPECT_TRUE(CryptHashData(hash, reinterpret_cast<const BYTE*>(kSecret), sizeof kSecret - 1, 0));
  HCRYPTKEY key = 0;
  EXPECT_TRUE(CryptDeriveKey(provider, algorithm, hash, flags, &key)) << std::hex << algorithm << " " << GetLastError();
  CryptDestroyHash(hash);
  return Key(key);
}

void SetWord(const Key& key, DWORD param, DWORD value) {
  EXPECT_TRUE(CryptSetKeyParam(key.Handle(), param, reinterpret_cast<BYTE*>(&value), 0))
      << param << " " << std::hex << GetLastError();
}

DWORD BlockLength(const Key& key) {
  DWORD bits = 0, length = sizeof bits;
  EXPECT_TRUE(CryptGetKeyParam(key.Handle(), KP_BLOCKLEN, reinterpret_cast<BYTE*>(&bits), &length, 0));
  return bits / 8;
}

// Mode and a non-zero IV for a block cipher key.
void Configure(const Key& key, DWORD mode) {
  const DWORD block = BlockLength(key);
  if (!block) return;
  SetWord(key, KP_MODE, mode);
  Bytes iv = Sequence(block, 0xA5);
  EXPECT_TRUE(CryptSetKeyParam(key.Handle(), KP_IV, iv.data(), 0)) << std::hex << GetLastError();
}

Bytes EncryptCall(const Key& key, const Bytes& plain, BOOL final, HCRYPTHASH hash = 0) {
  Bytes buffer = plain;
  buffer.resize(plain.size() + 32);
  DWORD length = static_cast<DWORD>(plain.size());
  if (!CryptEncrypt(key.Handle(), hash, final, 0, buffer.data(), &length, static_cast<DWORD>(buffer.size()))) {
    ADD_FAILURE() << "CryptEncrypt " << std::hex << GetLastError();
    return {};
  }
  buffer.resize(length);
  return buffer;
}

Bytes DecryptCall(const Key& key, const Bytes& cipher, BOOL final, HCRYPTHASH hash = 0) {
  Bytes buffer = cipher;
  buffer.resize(std::max<std::size_t>(cipher.size(), 1));
  DWORD length = static_cast<DWORD>(cipher.size());
  if (!CryptDecrypt(key.Handle(), hash, final, 0, buffer.data(), &length)) {
    ADD_FAILURE() << "CryptDecrypt " << std::hex << GetLastError();
    return {};
  }
  buffer.resize(length);
  return buffer;
}

// The message in non-final pieces of `piece` bytes, the rest in a final call.
Bytes EncryptInPieces(const Key& key, const Bytes& plain, std::size_t piece) {
  const std::size_t whole = plain.size() - plain.size() % piece;
  Bytes out;
  for (std::size_t at = 0; at < whole; at += piece) out = Concat(out, EncryptCall(key, Slice(plain, at, piece), FALSE));
  return Concat(out, EncryptCall(key, Slice(plain, whole, plain.size() - whole), TRUE));
}

// All pieces but the last non-final; the last, of `piece` bytes or fewer, final.
Bytes DecryptInPieces(const Key& key, const Bytes& cipher, std::size_t piece) {
  const std::size_t last = cipher.empty() ? 0 : (cipher.size() - 1) / piece * piece;
  Bytes out;
  for (std::size_t at = 0; at < last; at += piece) out = Concat(out, DecryptCall(key, Slice(cipher, at, piece), FALSE));
  return Concat(out, DecryptCall(key, Slice(cipher, last, cipher.size() - last), TRUE));
}

class InteropTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ours_.Ok()) << "our provider is not registered";
    ASSERT_TRUE(enhanced_.Ok());
    ASSERT_TRUE(aes_.Ok());
  }
  HCRYPTPROV Ours() const { return ours_.Handle(); }
  HCRYPTPROV Peer(bool aes) const { return aes ? aes_.Handle() : enhanced_.Handle(); }

  Context ours_{kOurProvider, PROV_RSA_FULL};
  Context enhanced_{MS_ENHANCED_PROV_A, PROV_RSA_FULL};
  Context aes_{MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES};
};

struct Algorithm {
  const char* name;
  ALG_ID algorithm;
  DWORD flags;               // CryptDeriveKey flags: key length, salt
  DWORD effectiveKeyLength;  // set with KP_EFFECTIVE_KEYLEN in both when not 0
  bool aesPeer;              // the peer is the AES provider
  ALG_ID hash;               // the hash the key is derived from
};

constexpr Algorithm kAlgorithms[] = {
    {"DES", CALG_DES, 0, 0, false, CALG_SHA1},
    {"DES 56, as announced", CALG_DES, 56 << 16, 0, false, CALG_SHA1},
    {"DES 64", CALG_DES, 64 << 16, 0, false, CALG_MD5},
    {"3DES", CALG_3DES, 0, 0, false, CALG_SHA1},
    {"3DES 168, as announced", CALG_3DES, 168 << 16, 0, false, CALG_SHA1},
    {"3DES 112", CALG_3DES_112, 0, 0, false, CALG_SHA1},
    {"3DES 112, as announced", CALG_3DES_112, 112 << 16, 0, false, CALG_MD5},
    {"RC2 128", CALG_RC2, 0, 0, false, CALG_SHA1},
    {"RC2 40, zero salt", CALG_RC2, 40 << 16, 0, false, CALG_SHA1},
    {"RC2 40, zero salt, effective 64", CALG_RC2, 40 << 16, 64, false, CALG_SHA1},
    {"RC2 56, no salt", CALG_RC2, 56 << 16 | CRYPT_NO_SALT, 0, false, CALG_MD5},
    {"RC4 128", CALG_RC4, 0, 0, false, CALG_SHA1},
    {"RC4 56, no salt", CALG_RC4, 56 << 16 | CRYPT_NO_SALT, 0, false, CALG_SHA1},
    {"DES, AES provider", CALG_DES, 0, 0, true, CALG_SHA1},
    {"AES 128", CALG_AES_128, 0, 0, true, CALG_SHA_256},
    {"AES 192", CALG_AES_192, 0, 0, true, CALG_SHA_256},
    {"AES 256", CALG_AES_256, 0, 0, true, CALG_SHA_256},
    {"AES 256 from SHA-1, stretched", CALG_AES_256, 0, 0, true, CALG_SHA1},
};

TEST_F(InteropTest, DerivedKeysEncryptAndDecryptAlike) {
  for (const Algorithm& a : kAlgorithms) {
    for (DWORD mode : {CRYPT_MODE_CBC, CRYPT_MODE_ECB}) {
      Key ours = Derive(Ours(), a.algorithm, a.flags, a.hash), peer = Derive(Peer(a.aesPeer), a.algorithm, a.flags, a.hash);
      for (const Key* key : {&ours, &peer}) {
        Configure(*key, mode);
        if (a.effectiveKeyLength) SetWord(*key, KP_EFFECTIVE_KEYLEN, a.effectiveKeyLength);
      }
      const DWORD block = BlockLength(ours);
      ASSERT_EQ(block, BlockLength(peer)) << a.name;
      const std::size_t piece = block ? block : 8;
      for (std::size_t length : {std::size_t{0}, std::size_t{1}, piece - 1, piece, piece + 1, std::size_t{1000}}) {
        SCOPED_TRACE(testing::Message() << a.name << ", mode " << mode << ", " << length << " bytes");
        const Bytes plain = Sequence(length, 0x11);
        const Bytes cipher = EncryptCall(peer, plain, TRUE);
        EXPECT_EQ(EncryptCall(ours, plain, TRUE), cipher);
        EXPECT_EQ(EncryptInPieces(ours, plain, piece), cipher);
        EXPECT_EQ(DecryptCall(ours, cipher, TRUE), plain);
        EXPECT_EQ(DecryptInPieces(ours, cipher, piece), plain);
        EXPECT_EQ(DecryptCall(peer, EncryptInPieces(ours, plain, 3 * piece), TRUE), plain);
      }
      if (!block) break;  // the stream cipher has no modes
    }
  }
}

// Every length our algorithm list announces for a cipher (minimum, default
// and maximum) makes and derives a key of that algorithm.
TEST_F(InteropTest, EveryAnnouncedCipherLengthMakesAKey) {
  int ciphers = 0;
  for (DWORD flags = CRYPT_FIRST;; flags = 0) {
    PROV_ENUMALGS_EX record{};
    DWORD length = sizeof record;
    if (!CryptGetProvParam(Ours(), PP_ENUMALGS_EX, reinterpret_cast<BYTE*>(&record), &length, flags)) break;
    if (GET_ALG_CLASS(record.aiAlgid) != ALG_CLASS_DATA_ENCRYPT) continue;
    ++ciphers;
    for (DWORD bits : {record.dwMinLen, record.dwDefaultLen, record.dwMaxLen}) {
      SCOPED_TRACE(testing::Message() << record.szName << ", " << bits << " bits");
      HCRYPTKEY made = 0;
      EXPECT_TRUE(CryptGenKey(Ours(), record.aiAlgid, bits << 16, &made)) << std::hex << GetLastError();
      Key generated(made);
      ALG_ID algorithm = 0;
      length = sizeof algorithm;
      EXPECT_TRUE(CryptGetKeyParam(made, KP_ALGID, reinterpret_cast<BYTE*>(&algorithm), &length, 0));
      EXPECT_EQ(algorithm, record.aiAlgid);
      Key derived = Derive(Ours(), record.aiAlgid, bits << 16, CALG_SHA_512);
      EXPECT_NE(derived.Handle(), 0u);
    }
  }
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  EXPECT_EQ(ciphers, 8);
}

// One block of the peer's ECB: the block cipher alone.
Bytes PeerBlock(const Key& ecb, const Bytes& block) { return EncryptCall(ecb, block, FALSE); }

TEST_F(InteropTest, FeedbackModesMatchTheBlockCipherOfThePeer) {
  for (const Algorithm& a : kAlgorithms) {
    Key ecb = Derive(Peer(a.aesPeer), a.algorithm, a.flags, a.hash);
    const DWORD block = BlockLength(ecb);
    if (!block || a.effectiveKeyLength) continue;
    SetWord(ecb, KP_MODE, CRYPT_MODE_ECB);
    const Bytes iv = Sequence(block, 0xA5), plain = Sequence(5 * block + 3, 0x33);
    // Whole-block OFB and CFB from the peer's block cipher, PKCS#5 padded.
    const Bytes padded = Concat(plain, Bytes(block - plain.size() % block, static_cast<BYTE>(block - plain.size() % block)));
    Bytes ofb(padded.size()), cfb(padded.size()), ofbRegister = iv, cfbRegister = iv;
    for (std::size_t at = 0; at < padded.size(); at += block) {
      ofbRegister = PeerBlock(ecb, ofbRegister);
      const Bytes cfbStream = PeerBlock(ecb, cfbRegister);
      for (std::size_t j = 0; j < block; ++j) {
        ofb[at + j] = padded[at + j] ^ ofbRegister[j];
        cfb[at + j] = padded[at + j] ^ cfbStream[j];
      }
      cfbRegister = Slice(cfb, at, block);
    }
    for (const auto& [mode, expected] : {std::pair{CRYPT_MODE_OFB, ofb}, std::pair{CRYPT_MODE_CFB, cfb}}) {
      SCOPED_TRACE(testing::Message() << a.name << ", mode " << mode);
      Key ours = Derive(Ours(), a.algorithm, a.flags, a.hash);
      Configure(ours, mode);
      EXPECT_EQ(EncryptCall(ours, plain, TRUE), expected);
      EXPECT_EQ(EncryptInPieces(ours, plain, block), expected);
      EXPECT_EQ(DecryptInPieces(ours, expected, block), plain);
    }
  }
}

TEST_F(InteropTest, PeersLackOfbAndFeedBackEightBitsInCfb) {
  Key ecb = Derive(Peer(false), CALG_DES, 0), cfb = Derive(Peer(false), CALG_DES, 0), ofb = Derive(Peer(false), CALG_DES, 0);
  SetWord(ecb, KP_MODE, CRYPT_MODE_ECB);
  Configure(cfb, CRYPT_MODE_CFB);
  SetWord(cfb, KP_MODE_BITS, 64);  // asked for, not honoured
  const Bytes plain = Sequence(16, 0x33);
  Bytes expected(plain.size()), shift = Sequence(8, 0xA5);
  for (std::size_t i = 0; i < plain.size(); ++i) {
    expected[i] = plain[i] ^ PeerBlock(ecb, shift)[0];
    shift = Concat(Slice(shift, 1, 7), {expected[i]});
  }
  EXPECT_EQ(EncryptCall(cfb, plain, FALSE), expected);

  SetWord(ofb, KP_MODE, CRYPT_MODE_OFB);
  Bytes buffer = plain;
  buffer.resize(24);
  DWORD length = 16;
  EXPECT_FALSE(CryptEncrypt(ofb.Handle(), 0, TRUE, 0, buffer.data(), &length, 24));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_ALGID));
}

TEST_F(InteropTest, EffectiveKeyLengthOfAnUnsaltedKeyShortensIt) {
  // Our 128-bit RC2 key (no salt bytes) with effective length 40 keys RC2
  // with its first 5 bytes: the peers' 40-bit key derived without salt.
  Key ours = Derive(Ours(), CALG_RC2, 0);
  Key peerShort = Derive(Peer(false), CALG_RC2, 40 << 16 | CRYPT_NO_SALT);
  Key peerFull = Derive(Peer(false), CALG_RC2, 0);
  SetWord(ours, KP_EFFECTIVE_KEYLEN, 40);
  SetWord(peerFull, KP_EFFECTIVE_KEYLEN, 40);
  const Bytes plain = Sequence(21, 0x44);
  const Bytes cipher = EncryptCall(ours, plain, TRUE);
  EXPECT_EQ(cipher, EncryptCall(peerShort, plain, TRUE));
  EXPECT_NE(cipher, EncryptCall(peerFull, plain, TRUE));
}

TEST_F(InteropTest, ShortRc4KeysHaveNoSaltHere) {
  Key ours = Derive(Ours(), CALG_RC4, 40 << 16);
  Key peerSalted = Derive(Peer(false), CALG_RC4, 40 << 16);
  Key peerUnsalted = Derive(Peer(false), CALG_RC4, 40 << 16 | CRYPT_NO_SALT);
  const Bytes plain = Sequence(33, 0x55);
  const Bytes cipher = EncryptCall(ours, plain, TRUE);
  EXPECT_EQ(cipher, EncryptCall(peerUnsalted, plain, TRUE));
  EXPECT_NE(cipher, EncryptCall(peerSalted, plain, TRUE));
}

TEST_F(InteropTest, HashWhileEncryptingEqualsHashOfThePlaintext) {
  for (const Algorithm& a : {kAlgorithms[0], kAlgorithms[7], kAlgorithms[11]}) {
    SCOPED_TRACE(a.name);
    Key ours = Derive(Ours(), a.algorithm, a.flags, a.hash), peer = Derive(Peer(a.aesPeer), a.algorithm, a.flags, a.hash);
    const Bytes plain = Sequence(61, 0x66);
    const HCRYPTHASH reference = NewHash(Peer(a.aesPeer));
    ASSERT_TRUE(CryptHashData(reference, plain.data(), static_cast<DWORD>(plain.size()), 0));
    const Bytes expected = HashValue(reference);
    const HCRYPTHASH oursEncrypting = NewHash(Ours()), oursDecrypting = NewHash(Ours());
    const HCRYPTHASH peerEncrypting = NewHash(Peer(a.aesPeer)), peerDecrypting = NewHash(Peer(a.aesPeer));
    const Bytes cipher = EncryptCall(ours, plain, TRUE, oursEncrypting);
    EXPECT_EQ(EncryptCall(peer, plain, TRUE, peerEncrypting), cipher);
    DecryptCall(ours, cipher, TRUE, oursDecrypting);
    DecryptCall(peer, cipher, TRUE, peerDecrypting);
    EXPECT_EQ(HashValue(oursEncrypting), expected);
    EXPECT_EQ(HashValue(oursDecrypting), expected);
    EXPECT_EQ(HashValue(peerEncrypting), expected);
    EXPECT_EQ(HashValue(peerDecrypting), expected);
  }
}

TEST_F(InteropTest, Aes128FromSha1TakesTheDigestItselfHere) {
  const HCRYPTHASH hash = NewHash(Peer(true));
  ASSERT_TRUE(CryptHashData(hash, reinterpret_cast<const BYTE*>(kSecret), sizeof kSecret - 1, 0));
  const Bytes digest = HashValue(hash);
  // The first 16 digest bytes, imported into the peer as they are.
  struct {
    BLOBHEADER header;
    DWORD size;
    BYTE key[16];
  } blob = {{PLAINTEXTKEYBLOB, CUR_BLOB_VERSION, 0, CALG_AES_128}, 16, {}};
  std::memcpy(blob.key, digest.data(), 16);
  HCRYPTKEY imported = 0;
  ASSERT_TRUE(CryptImportKey(Peer(true), reinterpret_cast<const BYTE*>(&blob), sizeof blob, 0, 0, &imported))
      << std::hex << GetLastError();
  const Key peerImported(imported);
  Key ours = Derive(Ours(), CALG_AES_128, 0), peerDerived = Derive(Peer(true), CALG_AES_128, 0);
  const Bytes plain = Sequence(40, 0x77);
  const Bytes cipher = EncryptCall(ours, plain, TRUE);
  EXPECT_EQ(cipher, EncryptCall(peerImported, plain, TRUE));
  EXPECT_NE(cipher, EncryptCall(peerDerived, plain, TRUE));
}

struct Answer {
  BOOL ok;
  DWORD error;
  DWORD length;
  bool operator==(const Answer&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Answer& a) {
  return out << (a.ok ? "TRUE" : "FALSE") << " error " << std::hex << a.error << std::dec << " length " << a.length;
}

struct LengthCase {
  const char* name;
  bool encrypt;
  DWORD mode;
  BOOL final;
  bool nullData;
  DWORD length, bufferLength;
};

// One call with a fresh DES key of the provider.
Answer Ask(HCRYPTPROV provider, const LengthCase& c) {
  Key key = Derive(provider, CALG_DES, 0);
  SetWord(key, KP_MODE, c.mode);
  Bytes buffer = Sequence(std::max(c.length, c.bufferLength));
  DWORD length = c.length;
  BYTE* data = c.nullData ? nullptr : buffer.data();
  const BOOL ok = c.encrypt ? CryptEncrypt(key.Handle(), 0, c.final, 0, data, &length, c.bufferLength)
                            : CryptDecrypt(key.Handle(), 0, c.final, 0, data, &length);
  return {ok, ok ? 0 : GetLastError(), length};
}

TEST_F(InteropTest, LengthRulesAgreeWithThePeers) {
  const LengthCase cases[] = {
      {"size query", true, CRYPT_MODE_CBC, TRUE, true, 17, 0},
      {"size query, whole blocks", true, CRYPT_MODE_CBC, TRUE, true, 16, 0},
      {"size query, not final", true, CRYPT_MODE_CBC, FALSE, true, 16, 0},
      {"buffer one byte short", true, CRYPT_MODE_CBC, TRUE, false, 17, 23},
      {"buffer holds the data but not the pad", true, CRYPT_MODE_CBC, TRUE, false, 16, 16},
      {"buffer shorter than the data", true, CRYPT_MODE_CBC, FALSE, false, 16, 8},
      {"partial block before the end", true, CRYPT_MODE_CBC, FALSE, false, 10, 16},
      {"decrypting a final partial block", false, CRYPT_MODE_CBC, TRUE, false, 12, 12},
      {"null buffer on decryption", false, CRYPT_MODE_CBC, TRUE, true, 16, 0},
  };
  for (const LengthCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Ask(Ours(), c), Ask(Peer(false), c));
  }
}

TEST_F(InteropTest, ArgumentRulesWhereThePeersDiffer) {
  const struct {
    LengthCase call;
    Answer ours, peer;
  } cases[] = {
      {{"non-final partial block decrypted", false, CRYPT_MODE_CBC, FALSE, false, 12, 12},
       {FALSE, static_cast<DWORD>(NTE_BAD_DATA), 12},
       {TRUE, 0, 12}},
      // The peers pad the buffer and set the length before refusing the mode.
      {{"CTS", true, CRYPT_MODE_CTS, TRUE, false, 16, 32},
       {FALSE, static_cast<DWORD>(NTE_NOT_SUPPORTED), 16},
       {FALSE, static_cast<DWORD>(NTE_BAD_ALGID), 24}},
      {{"OFB", true, CRYPT_MODE_OFB, TRUE, false, 16, 32}, {TRUE, 0, 24}, {FALSE, static_cast<DWORD>(NTE_BAD_ALGID), 24}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call.name);
    EXPECT_EQ(Ask(Ours(), c.call), c.ours);
    EXPECT_EQ(Ask(Peer(false), c.call), c.peer);
  }
}

}  // namespace
