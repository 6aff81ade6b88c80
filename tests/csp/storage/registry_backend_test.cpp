// The registry backend through its operation table, checked against the
// registry values and password-cache entries it leaves behind.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "csp/crypto/cpu/byte_order.h"
#include "csp/storage/stored_key_record.h"
#include "tests/csp/storage/container_fixture.h"
#include "tests/csp/storage/test_keys.h"

namespace {

using tv::csp::RecordSlot;
using tvtest::Bytes;
using tvtest::RegistryContainer;
using tvtest::ScopedContainerName;
using tvtest::Xor;

const Bytes kProtection = {0x3A, 0x91, 0x5C, 0x07, 0xE4};

// The RC4 key of a container: the five cached bytes, then eleven zeros.
Bytes KeystreamOf(const Bytes& cached, std::size_t length) {
  Bytes key = cached;
  key.resize(16, 0);
  return tvtest::Rc4Keystream(key, length);
}

using tvtest::MakePair;
using tvtest::Pair;

// The writes a provider context makes to store a pair.
bool WriteExchangePair(RegistryContainer& c, const Pair& pair, std::uint8_t exportable) {
  return c.Write(RecordSlot::ExchangePublic, pair.publicRecord, exportable) &&
         c.Write(RecordSlot::ExchangePrivate, pair.privateRecord, exportable);
}
bool WriteSignaturePair(RegistryContainer& c, const Pair& pair, std::uint8_t exportable) {
  return c.Write(RecordSlot::SignaturePrivate, pair.privateRecord, exportable) &&
         c.Write(RecordSlot::SignaturePublic, pair.publicRecord, exportable);
}

// Decrypts a stored value with the reference keystream from `position`.
Bytes Decrypted(const RegistryContainer& c, const char* value, const Bytes& stream, std::size_t position) {
  const std::optional<Bytes> stored = c.Raw(value);
  EXPECT_TRUE(stored.has_value()) << value;
  return stored ? Xor(*stored, stream, position) : Bytes();
}

class RootTest : public testing::TestWithParam<DWORD> {};

TEST_P(RootTest, ExchangePairIsEncryptedFromTheKeystreamStart) {
  ScopedContainerName name;
  RegistryContainer c(name, GetParam());
  ASSERT_TRUE(c.Create(kProtection));
  const Pair pair = MakePair(1024, 1);
  ASSERT_TRUE(WriteExchangePair(c, pair, 1));

  ASSERT_EQ(c.Raw("EPbK").value_or(Bytes()).size(), 156u);
  ASSERT_EQ(c.Raw("EPvK").value_or(Bytes()).size(), 700u);
  const Bytes stream = KeystreamOf(kProtection, 856);
  EXPECT_EQ(Decrypted(c, "EPbK", stream, 0), pair.publicRecord);
  const Bytes privateRecord = Decrypted(c, "EPvK", stream, 156);
  EXPECT_EQ(privateRecord, pair.privateRecord);
  EXPECT_EQ(tv::crypto::LoadLittleEndian32(privateRecord.data()), 0x32415352u);
  EXPECT_EQ(tv::crypto::LoadLittleEndian32(privateRecord.data() + 4), 136u);
  EXPECT_EQ(tv::crypto::LoadLittleEndian32(privateRecord.data() + 8), 1024u);
  EXPECT_EQ(c.Raw("EExport"), Bytes{1});
  EXPECT_EQ(tvtest::CachedPassword(name.str()), kProtection);

  std::uint8_t exportable = 0;
  EXPECT_EQ(c.Read(RecordSlot::ExchangePrivate, &exportable), pair.privateRecord);
  EXPECT_EQ(exportable, 1);
}

TEST_P(RootTest, SignatureValuesStayReadableWhenLowerSlotsChange) {
  ScopedContainerName name;
  RegistryContainer c(name, GetParam());
  ASSERT_TRUE(c.Create(kProtection));
  const Pair signature = MakePair(1024, 2);
  ASSERT_TRUE(WriteSignaturePair(c, signature, 0));
  const Bytes stream = KeystreamOf(kProtection, 4000);
  EXPECT_EQ(Decrypted(c, "SPvK", stream, 0), signature.privateRecord);
  EXPECT_EQ(Decrypted(c, "SPbK", stream, 700), signature.publicRecord);

  ASSERT_TRUE(WriteExchangePair(c, MakePair(1024, 3), 1));
  EXPECT_EQ(Decrypted(c, "SPvK", stream, 856), signature.privateRecord);
  EXPECT_EQ(Decrypted(c, "SPbK", stream, 856 + 700), signature.publicRecord);

  // A longer exchange pair moves them again.
  const Pair exchange = MakePair(2048, 4);
  ASSERT_TRUE(WriteExchangePair(c, exchange, 1));
  EXPECT_EQ(Decrypted(c, "SPvK", stream, 284 + 1340), signature.privateRecord);

  ASSERT_TRUE(c.Close());
  ASSERT_TRUE(c.Open());
  std::uint8_t exportable = 0xEE;
  EXPECT_EQ(c.Read(RecordSlot::SignaturePrivate, &exportable), signature.privateRecord);
  EXPECT_EQ(exportable, 0);
  EXPECT_EQ(c.Read(RecordSlot::SignaturePublic), signature.publicRecord);
  EXPECT_EQ(c.Read(RecordSlot::ExchangePrivate, &exportable), exchange.privateRecord);
  EXPECT_EQ(exportable, 1);
}

INSTANTIATE_TEST_SUITE_P(UserAndMachine, RootTest, testing::Values(0u, 1u),
                         [](const auto& info) { return info.param ? "Machine" : "User"; });

TEST(RegistryBackend, EmptySlotsReadAsMissingWithLastErrorZero) {
  ScopedContainerName name;
  RegistryContainer c(name, 0);
  ASSERT_TRUE(c.Create(kProtection));
  ASSERT_TRUE(c.Write(RecordSlot::SignaturePrivate, MakePair(1024, 5).privateRecord, 0));
  for (RecordSlot slot : {RecordSlot::ExchangePublic, RecordSlot::ExchangePrivate, RecordSlot::SignaturePublic}) {
    SCOPED_TRACE(static_cast<int>(slot));
    std::uint8_t buffer[800];
    std::uint8_t exportable = 0;
    DWORD length = 0;
    SetLastError(ERROR_GEN_FAILURE);
    EXPECT_FALSE(c.ops.ReadKeyContainer(c.storage, slot, &exportable, nullptr, &length));
    EXPECT_EQ(GetLastError(), 0u);
    length = sizeof buffer;
    SetLastError(ERROR_GEN_FAILURE);
    EXPECT_FALSE(c.ops.ReadKeyContainer(c.storage, slot, &exportable, buffer, &length));
    EXPECT_EQ(GetLastError(), 0u);
  }
}

TEST(RegistryBackend, ReadReportsTheExactSizeAndRefusesAShortBuffer) {
  ScopedContainerName name;
  RegistryContainer c(name, 0);
  ASSERT_TRUE(c.Create(kProtection));
  ASSERT_TRUE(c.Write(RecordSlot::SignaturePrivate, MakePair(1024, 6).privateRecord, 0));
  std::uint8_t exportable = 0;
  DWORD length = 0;
  ASSERT_TRUE(c.ops.ReadKeyContainer(c.storage, RecordSlot::SignaturePrivate, &exportable, nullptr, &length));
  EXPECT_EQ(length, 700u);
  Bytes buffer(699);
  length = 699;
  EXPECT_FALSE(c.ops.ReadKeyContainer(c.storage, RecordSlot::SignaturePrivate, &exportable, buffer.data(), &length));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(length, 700u);
}

TEST(RegistryBackend, SlotsOutsideTheFourAreRefused) {
  ScopedContainerName name;
  RegistryContainer c(name, 0);
  ASSERT_TRUE(c.Create(kProtection));
  for (std::int16_t code : {4, -1}) {
    Bytes record(156, 1);
    std::uint8_t exportable = 0;
    DWORD length = 156;
    EXPECT_FALSE(c.ops.WriteKeyContainer(c.storage, RecordSlot(code), 1, record.data(), 156, 0));
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_FALSE(c.ops.ReadKeyContainer(c.storage, RecordSlot(code), &exportable, record.data(), &length));
    EXPECT_NE(GetLastError(), 0u);
  }
}

TEST(RegistryBackend, CloseStoresTheSeedOnlyWhenGiven) {
  const Bytes seed = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
  for (const bool withSeed : {false, true}) {
    SCOPED_TRACE(withSeed);
    ScopedContainerName name;
    RegistryContainer c(name, 0);
    ASSERT_TRUE(c.Create(kProtection));
    ASSERT_TRUE(c.Close(withSeed ? seed.data() : nullptr));
    EXPECT_EQ(c.Raw("RandSeed"), withSeed ? std::optional<Bytes>(seed) : std::nullopt);
  }
}

// As in a context without a container, and after the container was closed.
TEST(RegistryBackend, ContainerOperationsFailWithoutACurrentContainer) {
  ScopedContainerName name;
  RegistryContainer c(name, 0);
  const Bytes seed(20, 7);
  for (const bool afterClose : {false, true}) {
    SCOPED_TRACE(afterClose);
    if (afterClose) {
      ASSERT_TRUE(c.Create(kProtection));
      ASSERT_TRUE(c.Close());
    }
    Bytes record(156, 1);
    std::uint8_t exportable = 0;
    DWORD length = 156;
    EXPECT_FALSE(c.Close(seed.data()));
    EXPECT_FALSE(c.ops.DeleteKeyContainer(c.storage));
    EXPECT_FALSE(c.ops.ReadKeyContainer(c.storage, RecordSlot::ExchangePrivate, &exportable, record.data(), &length));
    EXPECT_NE(GetLastError(), 0u) << "not an empty slot";
    EXPECT_FALSE(c.ops.WriteKeyContainer(c.storage, RecordSlot::ExchangePublic, 1, record.data(), 156, 0));
    EXPECT_FALSE(c.ops.SetKeySecurity(c.storage, nullptr, DACL_SECURITY_INFORMATION));
  }
  EXPECT_EQ(c.Raw("RandSeed"), std::nullopt);
}

TEST(RegistryBackend, DeleteRemovesTheKeyAndTheCacheEntry) {
  ScopedContainerName name;
  RegistryContainer c(name, 0);
  ASSERT_TRUE(c.Create(kProtection));
  ASSERT_TRUE(WriteExchangePair(c, MakePair(1024, 7), 1));
  ASSERT_TRUE(c.Close());
  ASSERT_TRUE(c.Open(true));
  EXPECT_TRUE(c.ops.DeleteKeyContainer(c.storage));
  EXPECT_FALSE(tvtest::RegistryKeyExists(c.KeyPath()));
  EXPECT_EQ(tvtest::CachedPassword(name.str()), std::nullopt);
  EXPECT_FALSE(c.Open());
}

// A container key is this backend's when it holds a private record, or,
// still without pairs, when the password cache holds the entry this backend
// made for it and no other backend's mark is there.
TEST(RegistryBackend, ContainerKeysAreItsOwnByARecordOrByTheCacheEntry) {
  const struct {
    const char* name;
    std::vector<const char*> values;
    bool cached;
    bool opens;
  } cases[] = {
      {"no values, cache entry", {}, true, true},
      {"seed only, cache entry", {"RandSeed"}, true, true},
      {"public records only, cache entry", {"EPbK", "SPbK", "EExport"}, true, true},
      {"no values, no cache entry", {}, false, false},
      {"exchange private record", {"EPvK"}, true, true},
      {"signature private record", {"SPvK"}, true, true},
      {"Protected Storage container", {"PSKEYS", "RandSeed"}, true, false},
      {"Protected Storage pair", {"PSKEYS", "ExchTypeSubtype", "EPbK"}, true, false},
      {"Key container", {"ESmart"}, true, false},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    ScopedContainerName name;
    const tvtest::ContainerKeyPath path = tvtest::KeyPathOf(name.str(), 0);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(path.root, path.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::uint8_t value[4] = {1, 2, 3, 4};
    for (const char* valueName : test.values) RegSetValueExA(key, valueName, 0, REG_BINARY, value, sizeof value);
    RegCloseKey(key);
    if (test.cached) {
      ASSERT_TRUE(tvtest::CachePassword(name.str(), kProtection));
    }

    RegistryContainer c(name, 0);
    EXPECT_TRUE(c.ops.ContainerExists(c.storage, name.c_str()));
    EXPECT_EQ(c.Open(), test.opens);
  }
}

// A container created and closed without pairs opens again, reads as
// empty, and is deleted with its cache entry.
TEST(RegistryBackend, EmptyContainerOpensReadsEmptyAndDeletes) {
  ScopedContainerName name;
  RegistryContainer c(name, 0);
  ASSERT_TRUE(c.Create(kProtection));
  const std::uint8_t seed[20] = {};
  ASSERT_TRUE(c.Close(seed));
  ASSERT_TRUE(c.Open());
  for (RecordSlot slot : {RecordSlot::ExchangePrivate, RecordSlot::SignaturePrivate}) {
    DWORD length = 0;
    SetLastError(0x1234);
    EXPECT_FALSE(c.ops.ReadKeyContainer(c.storage, slot, nullptr, nullptr, &length));
    EXPECT_EQ(GetLastError(), 0u);
  }
  ASSERT_TRUE(c.Close());
  ASSERT_TRUE(c.Open(true));
  EXPECT_TRUE(c.ops.DeleteKeyContainer(c.storage));
  EXPECT_FALSE(tvtest::RegistryKeyExists(c.KeyPath()));
  EXPECT_EQ(tvtest::CachedPassword(name.str()), std::nullopt);
}

// Empty containers of one name in both roots share the cache entry: deleting
// one keeps it for the other.
TEST(RegistryBackend, EmptyContainerInTheOtherRootKeepsTheSharedEntry) {
  ScopedContainerName name;
  RegistryContainer user(name, 0);
  RegistryContainer machine(name, 1);
  ASSERT_TRUE(user.Create(kProtection));
  ASSERT_TRUE(machine.Create(kProtection));
  ASSERT_TRUE(user.Close());
  ASSERT_TRUE(machine.Close());
  ASSERT_TRUE(user.Open(true));
  ASSERT_TRUE(user.ops.DeleteKeyContainer(user.storage));
  EXPECT_TRUE(tvtest::CachedPassword(name.str()).has_value());
  ASSERT_TRUE(machine.Open(true));
  ASSERT_TRUE(machine.ops.DeleteKeyContainer(machine.storage));
  EXPECT_EQ(tvtest::CachedPassword(name.str()), std::nullopt);
}

TEST(RegistryBackend, OpenFailsWithoutTheCacheEntry) {
  ScopedContainerName name;
  RegistryContainer c(name, 0);
  ASSERT_TRUE(c.Create(kProtection));
  ASSERT_TRUE(WriteExchangePair(c, MakePair(1024, 8), 1));
  ASSERT_TRUE(c.Close());
  tvtest::RemoveCachedPassword(name.str());
  EXPECT_FALSE(c.Open());
}

// An entry left under the name is the key the new container uses, so that
// the cache and the stored values always agree.
TEST(RegistryBackend, CreateUsesAnEntryAlreadyCachedUnderTheName) {
  ScopedContainerName name;
  const Bytes leftOver = {9, 8, 7, 6, 5};
  ASSERT_TRUE(tvtest::CachePassword(name.str(), leftOver));
  RegistryContainer c(name, 0);
  ASSERT_TRUE(c.Create(kProtection));
  const Pair pair = MakePair(1024, 9);
  ASSERT_TRUE(WriteExchangePair(c, pair, 1));
  EXPECT_EQ(tvtest::CachedPassword(name.str()), leftOver);
  EXPECT_EQ(Decrypted(c, "EPvK", KeystreamOf(leftOver, 856), 156), pair.privateRecord);
  ASSERT_TRUE(c.Close());
  ASSERT_TRUE(c.Open());
  EXPECT_EQ(c.Read(RecordSlot::ExchangePrivate), pair.privateRecord);
}

// The user's and the machine's container of one name share the cache entry.
TEST(RegistryBackend, UserAndMachineContainersOfOneNameBothStayReadable) {
  ScopedContainerName name;
  RegistryContainer user(name, 0);
  RegistryContainer machine(name, 1);
  const Pair userPair = MakePair(1024, 10);
  const Pair machinePair = MakePair(512, 11);
  ASSERT_TRUE(user.Create(kProtection));
  ASSERT_TRUE(WriteExchangePair(user, userPair, 1));
  ASSERT_TRUE(machine.Create({0x11, 0x22, 0x33, 0x44, 0x55}));
  ASSERT_TRUE(WriteSignaturePair(machine, machinePair, 0));
  ASSERT_TRUE(user.Close());
  ASSERT_TRUE(machine.Close());

  ASSERT_TRUE(user.Open(true));
  ASSERT_TRUE(user.ops.DeleteKeyContainer(user.storage));
  EXPECT_TRUE(tvtest::CachedPassword(name.str()).has_value());
  ASSERT_TRUE(machine.Open());
  EXPECT_EQ(machine.Read(RecordSlot::SignaturePrivate), machinePair.privateRecord);
  ASSERT_TRUE(machine.Close());

  ASSERT_TRUE(machine.Open(true));
  ASSERT_TRUE(machine.ops.DeleteKeyContainer(machine.storage));
  EXPECT_EQ(tvtest::CachedPassword(name.str()), std::nullopt);
}

TEST(RegistryBackend, EnumerationListsTheContainer) {
  ScopedContainerName name;
  RegistryContainer c(name, 0);
  ASSERT_TRUE(c.Create(kProtection));
  DWORD length = 0;
  ASSERT_TRUE(c.ops.EnumKeyContainers(c.storage, 0, nullptr, &length));
  EXPECT_EQ(length, 261u);
  std::set<std::string> names;
  char buffer[261];
  for (std::int16_t index = 0; index < 10000; ++index) {
    length = sizeof buffer;
    if (!c.ops.EnumKeyContainers(c.storage, index, buffer, &length)) {
      EXPECT_EQ(length, 0u);
      break;
    }
    EXPECT_EQ(length, strlen(buffer) + 1);
    names.insert(buffer);
  }
  EXPECT_EQ(names.count(name.str()), 1u);
}

TEST(RegistryBackend, StoragesOfOneProcessShareTheCache) {
  ScopedContainerName name;
  {
    RegistryContainer first(name, 0);
    RegistryContainer second(name, 0);
    ASSERT_TRUE(first.Create(kProtection));
    ASSERT_TRUE(WriteExchangePair(first, MakePair(1024, 12), 1));
    ASSERT_TRUE(first.Close());
    ASSERT_TRUE(second.Open());
  }
  // Every storage was closed and the cache released; a new one binds it again.
  RegistryContainer again(name, 0);
  EXPECT_TRUE(again.Open());
}

}  // namespace
