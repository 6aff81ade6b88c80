// Key blobs through the provider's own entries, in-process: sizes, the kind
// and exportability rules, what import refuses (short blobs, malformed
// key-wrapping blocks, wrong versions, flags and keys), round trips, and
// storing an imported pair in the container.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "csp/front/cp_entries.h"
#include "csp/front/object_handles.h"
#include "in_process_provider.h"
#include "memory_container.h"

namespace {

using tvtest::Bytes;
using tvtest::Reversed;

constexpr DWORD kStoreRefused = 0x80100006;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes LittleEndian32(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

// A SIMPLEBLOB of `algorithm` carrying `block` encrypted with the public
// key of `pair`.
Bytes SimpleBlobOf(ALG_ID algorithm, HCRYPTKEY pair, const Bytes& block) {
  const tv::csp::KeyObject& key = *tv::csp::KeyFromHandle(pair);
  return Cat({{SIMPLEBLOB, CUR_BLOB_VERSION, 0, 0}, LittleEndian32(algorithm), LittleEndian32(key.head.algorithm),
              Reversed(tvtest::RawPublic(key.rsa.numbers, block, block.size()))});
}

Bytes SessionKeyBytes(HCRYPTKEY key, std::size_t count) {
  const std::uint8_t* bytes = tv::csp::KeyFromHandle(key)->session.keyBytes.Data();
  return Bytes(bytes, bytes + count);
}

// Bytes placed right before a page that may not be touched, so that reading
// one byte past them faults.
class GuardedBytes {
 public:
  explicit GuardedBytes(const Bytes& bytes) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const std::size_t page = system.dwPageSize;
    const std::size_t pages = (bytes.size() + page - 1) / page + 1;
    base_ = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, pages * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    DWORD old = 0;
    VirtualProtect(base_ + (pages - 1) * page, page, PAGE_NOACCESS, &old);
    data_ = base_ + (pages - 1) * page - bytes.size();
    std::copy(bytes.begin(), bytes.end(), data_);
  }
  ~GuardedBytes() { VirtualFree(base_, 0, MEM_RELEASE); }
  GuardedBytes(const GuardedBytes&) = delete;
  GuardedBytes& operator=(const GuardedBytes&) = delete;
  const std::uint8_t* data() const { return data_; }

 private:
  std::uint8_t* base_ = nullptr;
  std::uint8_t* data_ = nullptr;
};

class KeyBlobTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    provider_ = new tvtest::InProcessProvider;
    exchangePair_ = provider_->GenKey(AT_KEYEXCHANGE, 1024 << 16 | CRYPT_EXPORTABLE);
    signaturePair_ = provider_->GenKey(AT_SIGNATURE, 1024 << 16);
  }
  static void TearDownTestSuite() { delete provider_; }
  void SetUp() override { ASSERT_TRUE(provider_->ok() && exchangePair_ && signaturePair_); }

  static tvtest::InProcessProvider* provider_;
  static HCRYPTKEY exchangePair_;   // exportable
  static HCRYPTKEY signaturePair_;  // not exportable
};

tvtest::InProcessProvider* KeyBlobTest::provider_ = nullptr;
HCRYPTKEY KeyBlobTest::exchangePair_ = 0;
HCRYPTKEY KeyBlobTest::signaturePair_ = 0;

TEST_F(KeyBlobTest, SizesAndTheLengthRule) {
  const HCRYPTKEY tripleDes = provider_->GenKey(CALG_3DES, CRYPT_EXPORTABLE);
  tvtest::InProcessProvider own;
  const HCRYPTKEY oddLength = own.GenKey(AT_KEYEXCHANGE, 1032 << 16 | CRYPT_EXPORTABLE);
  ASSERT_TRUE(tripleDes && oddLength);
  const struct {
    HCRYPTPROV provider;
    HCRYPTKEY key;
    DWORD type;
    HCRYPTKEY exportKey;
    DWORD size;
  } cases[] = {
      {provider_->handle(), exchangePair_, PUBLICKEYBLOB, 0, 148},
      {provider_->handle(), exchangePair_, PRIVATEKEYBLOB, 0, 596},
      {provider_->handle(), tripleDes, SIMPLEBLOB, exchangePair_, 140},
      // Primes of 516 bits need 65-byte fields: 1032 / 16 rounded up.
      {own.handle(), oddLength, PUBLICKEYBLOB, 0, 149},
      {own.handle(), oddLength, PRIVATEKEYBLOB, 0, 20 + 129 + 5 * 65 + 129},
  };
  for (const auto& c : cases) {
    DWORD length = 0;
    ASSERT_TRUE(CPExportKey(c.provider, c.key, c.exportKey, c.type, 0, nullptr, &length)) << c.type;
    EXPECT_EQ(length, c.size) << c.type;
    Bytes blob(c.size + 8, 0xEE);
    length = c.size - 1;
    EXPECT_FALSE(CPExportKey(c.provider, c.key, c.exportKey, c.type, 0, blob.data(), &length));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(length, c.size - 1);
    EXPECT_EQ(blob, Bytes(c.size + 8, 0xEE)) << "nothing written to a short buffer";
    length = static_cast<DWORD>(blob.size());
    ASSERT_TRUE(CPExportKey(c.provider, c.key, c.exportKey, c.type, 0, blob.data(), &length));
    EXPECT_EQ(length, c.size);
    EXPECT_EQ(Bytes(blob.begin(), blob.begin() + 2), Bytes({static_cast<std::uint8_t>(c.type), CUR_BLOB_VERSION}));
  }
}

TEST_F(KeyBlobTest, ExportRules) {
  const HCRYPTKEY session = provider_->GenKey(CALG_RC4, CRYPT_EXPORTABLE);
  const HCRYPTKEY fixedSession = provider_->GenKey(CALG_RC4, 0);
  const HCRYPTKEY publicOnly = provider_->Import(provider_->Export(exchangePair_, PUBLICKEYBLOB));
  ASSERT_TRUE(session && fixedSession && publicOnly);
  const struct {
    const char* name;
    HCRYPTKEY key;
    DWORD type;
    HCRYPTKEY exportKey;
    DWORD flags;
    DWORD error;  // 0: exported
  } cases[] = {
      {"public blob of a fixed pair", signaturePair_, PUBLICKEYBLOB, 0, 0, 0},
      {"private blob of a fixed pair", signaturePair_, PRIVATEKEYBLOB, 0, 0, static_cast<DWORD>(NTE_BAD_KEY_STATE)},
      {"private blob of a public key", publicOnly, PRIVATEKEYBLOB, 0, 0, static_cast<DWORD>(NTE_BAD_KEY)},
      {"public key wraps a session key", session, SIMPLEBLOB, publicOnly, 0, 0},
      {"fixed session key", fixedSession, SIMPLEBLOB, exchangePair_, 0, static_cast<DWORD>(NTE_BAD_KEY_STATE)},
      {"session key as public blob", session, PUBLICKEYBLOB, 0, 0, static_cast<DWORD>(NTE_BAD_KEY)},
      {"no wrapping key", session, SIMPLEBLOB, 0, 0, static_cast<DWORD>(NTE_BAD_KEY)},
      {"session key wrapping", session, SIMPLEBLOB, fixedSession, 0, static_cast<DWORD>(NTE_BAD_KEY)},
      {"pair as simple blob", exchangePair_, SIMPLEBLOB, exchangePair_, 0, static_cast<DWORD>(NTE_BAD_KEY)},
      {"unknown blob type", exchangePair_, 99, 0, 0, static_cast<DWORD>(NTE_BAD_TYPE)},
      {"flags", exchangePair_, PUBLICKEYBLOB, 0, 1, static_cast<DWORD>(NTE_BAD_FLAGS)},
      // We write private key blobs only in the clear: a caller who asked
      // for encryption gets a refusal, never plaintext.
      {"private blob under an export key", exchangePair_, PRIVATEKEYBLOB, session, 0,
       static_cast<DWORD>(NTE_BAD_KEY)},
  };
  for (const auto& c : cases) {
    DWORD length = 0;
    const BOOL ok = CPExportKey(provider_->handle(), c.key, c.exportKey, c.type, c.flags, nullptr, &length);
    EXPECT_EQ(ok != FALSE, c.error == 0) << c.name;
    if (c.error) {
      EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
  }
}

TEST_F(KeyBlobTest, ImportRules) {
  const Bytes privateBlob = provider_->Export(exchangePair_, PRIVATEKEYBLOB);
  const HCRYPTKEY tripleDes = provider_->GenKey(CALG_3DES, CRYPT_EXPORTABLE);
  const Bytes simpleBlob = provider_->Export(tripleDes, SIMPLEBLOB, exchangePair_);
  const HCRYPTKEY publicOnly = provider_->Import(provider_->Export(exchangePair_, PUBLICKEYBLOB));
  ASSERT_TRUE(!privateBlob.empty() && !simpleBlob.empty() && publicOnly);
  const auto with = [](Bytes blob, std::size_t offset, const Bytes& bytes) {
    std::copy(bytes.begin(), bytes.end(), blob.begin() + offset);
    return blob;
  };
  const struct {
    const char* name;
    Bytes blob;
    HCRYPTKEY importKey;
    DWORD flags;
    DWORD error;  // 0: imported
  } cases[] = {
      {"version 3", with(privateBlob, 1, {3}), 0, 0, static_cast<DWORD>(NTE_BAD_VER)},
      {"private blob marked RSA1", with(privateBlob, 8, {'R', 'S', 'A', '1'}), 0, 0, 0},
      {"unknown flag", privateBlob, 0, 0x100, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {"unknown flag beside a known one", privateBlob, 0, 0x100 | CRYPT_EXPORTABLE, 0},
      {"created salt for 3DES", simpleBlob, exchangePair_, CRYPT_CREATE_SALT, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {"unknown blob type", with(privateBlob, 0, {5}), 0, 0, static_cast<DWORD>(NTE_BAD_TYPE)},
      {"RSA blob of a cipher", with(privateBlob, 4, LittleEndian32(CALG_RC4)), 0, 0,
       static_cast<DWORD>(NTE_BAD_ALGID)},
      {"bit length below 384", with(privateBlob, 12, LittleEndian32(376)), 0, 0, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {"bit length longer than the blob", with(privateBlob, 12, LittleEndian32(1040)), 0, 0,
       static_cast<DWORD>(NTE_BAD_DATA)},
      {"private blob under an import key", privateBlob, tripleDes, 0, static_cast<DWORD>(NTE_BAD_KEY)},
      {"unwrapped by a public key", simpleBlob, publicOnly, 0, static_cast<DWORD>(NTE_BAD_KEY)},
      {"unwrapped by nothing", simpleBlob, 0, 0, static_cast<DWORD>(NTE_BAD_KEY)},
      {"unwrapped by the signature pair", simpleBlob, signaturePair_, 0, static_cast<DWORD>(NTE_BAD_ALGID)},
      {"bytes after the blob", Cat({privateBlob, {1, 2, 3}}), 0, 0, 0},
  };
  for (const auto& c : cases) {
    tvtest::InProcessProvider own;  // an imported pair replaces the context's
    HCRYPTKEY key = 0;
    const HCRYPTPROV prov = c.importKey ? provider_->handle() : own.handle();
    const BOOL ok =
        CPImportKey(prov, c.blob.data(), static_cast<DWORD>(c.blob.size()), c.importKey, c.flags, &key);
    EXPECT_EQ(ok != FALSE, c.error == 0) << c.name;
    if (!ok) {
      EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
    if (ok) CPDestroyKey(prov, key);
  }

  tvtest::InProcessProvider silent(CRYPT_VERIFYCONTEXT | CRYPT_SILENT);
  EXPECT_EQ(silent.Import(privateBlob, 0, CRYPT_USER_PROTECTED), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_SILENT_CONTEXT));
}

TEST_F(KeyBlobTest, EveryTruncatedBlobIsRefused) {
  const HCRYPTKEY rc4 = provider_->GenKey(CALG_RC4, CRYPT_EXPORTABLE);
  const Bytes blobs[] = {
      provider_->Export(exchangePair_, PUBLICKEYBLOB),
      provider_->Export(exchangePair_, PRIVATEKEYBLOB),
      provider_->Export(rc4, SIMPLEBLOB, exchangePair_),
  };
  for (const Bytes& blob : blobs) {
    ASSERT_FALSE(blob.empty());
    for (std::size_t length = 0; length < blob.size(); ++length) {
      const GuardedBytes truncated(Bytes(blob.begin(), blob.begin() + length));
      HCRYPTKEY key = 0;
      ASSERT_FALSE(CPImportKey(provider_->handle(), truncated.data(), static_cast<DWORD>(length),
                               blob[0] == SIMPLEBLOB ? exchangePair_ : 0, 0, &key))
          << "type " << int{blob[0]} << ", " << length << " of " << blob.size() << " bytes";
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_DATA)) << length;
    }
  }
}

TEST_F(KeyBlobTest, PrivateBlobRoundTripsAndReplacesTheContextsPair) {
  const Bytes privateBlob = provider_->Export(exchangePair_, PRIVATEKEYBLOB);
  tvtest::InProcessProvider own;
  const HCRYPTKEY earlier = own.GenKey(AT_KEYEXCHANGE, 512 << 16);
  ASSERT_NE(earlier, 0u);
  const HCRYPTKEY imported = own.Import(privateBlob, 0, CRYPT_EXPORTABLE);
  ASSERT_NE(imported, 0u) << std::hex << GetLastError();
  EXPECT_EQ(own.Export(imported, PRIVATEKEYBLOB), privateBlob);
  const HCRYPTKEY userKey = own.UserKey(AT_KEYEXCHANGE);
  ASSERT_NE(userKey, 0u);
  EXPECT_EQ(own.Export(userKey, PUBLICKEYBLOB), provider_->Export(exchangePair_, PUBLICKEYBLOB));
  EXPECT_EQ(own.UserKey(AT_SIGNATURE), 0u) << "an exchange pair leaves the signature field alone";
}

TEST_F(KeyBlobTest, SimpleBlobCarriesThePaddedKey) {
  const struct {
    ALG_ID algorithm;
    DWORD flags;
    std::size_t wrappedBytes;
    DWORD importedLength;
  } cases[] = {
      {CALG_3DES, 0, 24, 192},
      {CALG_AES_128, 0, 16, 128},
      {CALG_RC4, 56 << 16, 7, 56},
      // Salt travels with the key: 5 key bytes and 11 salt bytes, taken
      // back as a 128-bit key without salt.
      {CALG_RC2, 40 << 16 | CRYPT_CREATE_SALT, 16, 128},
  };
  for (const auto& c : cases) {
    const HCRYPTKEY key = provider_->GenKey(c.algorithm, c.flags | CRYPT_EXPORTABLE);
    ASSERT_NE(key, 0u);
    const Bytes blob = provider_->Export(key, SIMPLEBLOB, exchangePair_);
    ASSERT_EQ(blob.size(), 140u);
    EXPECT_EQ(Bytes(blob.begin(), blob.begin() + 12),
              Cat({{SIMPLEBLOB, CUR_BLOB_VERSION, 0, 0}, LittleEndian32(c.algorithm), LittleEndian32(CALG_RSA_KEYX)}));
    const Bytes block = tvtest::RawPrivate(tvtest::RsaNumbers(exchangePair_), Reversed(Bytes(blob.begin() + 12, blob.end())), 128);
    const std::size_t padding = 128 - 3 - c.wrappedBytes;
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 2), Bytes({0x00, 0x02})) << c.algorithm;
    EXPECT_EQ(std::count(block.begin() + 2, block.begin() + 2 + padding, 0), 0) << c.algorithm;
    EXPECT_EQ(block[2 + padding], 0) << c.algorithm;
    EXPECT_EQ(Bytes(block.end() - c.wrappedBytes, block.end()), SessionKeyBytes(key, c.wrappedBytes)) << c.algorithm;

    const HCRYPTKEY imported = provider_->Import(blob, exchangePair_);
    ASSERT_NE(imported, 0u) << c.algorithm << " " << std::hex << GetLastError();
    EXPECT_EQ(tv::csp::KeyFromHandle(imported)->session.keyLength, c.importedLength) << c.algorithm;
    EXPECT_EQ(SessionKeyBytes(imported, c.wrappedBytes), SessionKeyBytes(key, c.wrappedBytes)) << c.algorithm;
  }
}

TEST_F(KeyBlobTest, MalformedKeyWrappingBlocksAreRefusedAlike) {
  const Bytes key(16, 0x5A);
  const auto block = [&key](std::initializer_list<Bytes> head) {
    Bytes all = Cat(head);
    all.resize(128 - key.size(), 0x77);
    return Cat({all, key});
  };
  const Bytes valid = block({{0x00, 0x02}, Bytes(109, 0x33), {0x00}});
  ASSERT_NE(provider_->Import(SimpleBlobOf(CALG_RC4, exchangePair_, valid), exchangePair_), 0u)
      << std::hex << GetLastError();
  const struct {
    const char* name;
    Bytes block;
  } cases[] = {
      {"block type 1", block({{0x00, 0x01}, Bytes(109, 0xFF), {0x00}})},
      {"block type 0", block({{0x00, 0x00}, Bytes(110, 0x00)})},
      {"seven padding bytes", block({{0x00, 0x02}, Bytes(7, 0x33), {0x00}})},
      {"no separator", block({{0x00, 0x02}, Bytes(110, 0x33)})},
      {"nothing after the separator", Cat({{0x00, 0x02}, Bytes(125, 0x33), {0x00}})},
      {"leading byte not zero", block({{0x01, 0x02}, Bytes(109, 0x33), {0x00}})},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(c.block.size(), 128u) << c.name;
    EXPECT_EQ(provider_->Import(SimpleBlobOf(CALG_RC4, exchangePair_, c.block), exchangePair_), 0u) << c.name;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_ALGID)) << c.name;
  }
  // A ciphertext that is no number below the modulus.
  Bytes aboveModulus = SimpleBlobOf(CALG_RC4, exchangePair_, valid);
  std::fill(aboveModulus.begin() + 12, aboveModulus.end(), 0xFF);
  EXPECT_EQ(provider_->Import(aboveModulus, exchangePair_), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_ALGID));
}

TEST_F(KeyBlobTest, ImportedPairIsStoredInTheContainer) {
  using tv::csp::RecordSlot;
  const Bytes exchangeBlob = provider_->Export(exchangePair_, PRIVATEKEYBLOB);
  Bytes signatureBlob = exchangeBlob;
  signatureBlob[5] = 0x24;  // CALG_RSA_SIGN
  const struct {
    const char* name;
    const Bytes* blob;
    DWORD flags;
    RecordSlot privateSlot;
    RecordSlot publicSlot;
  } cases[] = {
      {"exchange pair", &exchangeBlob, CRYPT_EXPORTABLE, RecordSlot::ExchangePrivate, RecordSlot::ExchangePublic},
      {"signature pair", &signatureBlob, 0, RecordSlot::SignaturePrivate, RecordSlot::SignaturePublic},
  };
  for (const auto& c : cases) {
    tvtest::MemoryContainer container;
    tvtest::InProcessProvider own;
    tvtest::AttachMemoryContainer(own.context(), container);
    ASSERT_NE(own.Import(*c.blob, 0, c.flags), 0u) << c.name << " " << std::hex << GetLastError();
    ASSERT_EQ(container.records.size(), 2u) << c.name;
    EXPECT_EQ(container.records[c.privateSlot].exportable, c.flags ? 1 : 0) << c.name;
    EXPECT_EQ(container.records[c.publicSlot].bytes.size() < container.records[c.privateSlot].bytes.size(), true);
  }

  tvtest::MemoryContainer container;
  tvtest::InProcessProvider own;
  tvtest::AttachMemoryContainer(own.context(), container);
  ASSERT_NE(own.Import(provider_->Export(exchangePair_, PUBLICKEYBLOB)), 0u);
  EXPECT_TRUE(container.records.empty()) << "a public key is kept nowhere";
  for (DWORD failure : {kStoreRefused, static_cast<DWORD>(ERROR_ACCESS_DENIED)}) {
    container.writeError = failure;
    EXPECT_EQ(own.Import(exchangeBlob), 0u);
    EXPECT_EQ(GetLastError(), failure == kStoreRefused ? kStoreRefused : static_cast<DWORD>(NTE_FAIL));
    EXPECT_EQ(own.context().exchangeKey, nullptr);
  }
}

}  // namespace
