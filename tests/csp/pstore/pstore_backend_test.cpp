// The Protected Storage backend through its operation table, against the
// Protected Storage stand-in: what it leaves in the registry and as items,
// and how it copes with containers and items it did not leave that way.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <iterator>
#include <string>

#include "csp/storage/stored_key_record.h"
#include "tests/csp/pstore/standin_store.h"
#include "tests/csp/storage/container_fixture.h"
#include "tests/csp/storage/test_keys.h"

namespace {

using tv::csp::RecordSlot;
using tvtest::Bytes;
using tvtest::ScopedContainerName;

constexpr DWORD kConfirmDefault = 0;  // PST_CF_DEFAULT
constexpr DWORD kConfirmNone = 1;     // PST_CF_NONE

using tvtest::MakePair;
using tvtest::Pair;

// MD5 of the platform's own provider, independent of ours.
Bytes Md5(const Bytes& data) {
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  Bytes digest(16);
  DWORD size = 16;
  EXPECT_TRUE(CryptAcquireContextA(&provider, nullptr, MS_ENHANCED_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
  EXPECT_TRUE(CryptCreateHash(provider, CALG_MD5, 0, 0, &hash));
  EXPECT_TRUE(CryptHashData(hash, data.data(), static_cast<DWORD>(data.size()), 0));
  EXPECT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, digest.data(), &size, 0));
  CryptDestroyHash(hash);
  CryptReleaseContext(provider, 0);
  return digest;
}

// The keystream that obscures a container's public records: RC4 keyed with
// the first 5 bytes of MD5 over the name and its zero, then 11 zeros.
Bytes KeystreamOf(const std::string& name, std::size_t length) {
  Bytes key = Md5(Bytes(name.c_str(), name.c_str() + name.size() + 1));
  key.resize(5);
  key.resize(16, 0);
  return tvtest::Rc4Keystream(key, length);
}

Bytes Identity(const GUID& subtype) {
  Bytes identity(32);
  std::memcpy(identity.data(), &tvtest::kKeyType, 16);
  std::memcpy(identity.data() + 16, &subtype, 16);
  return identity;
}

// A Protected Storage storage opened for one container name, closed at the
// end of the test.
class ProtectedContainer {
 public:
  ProtectedContainer(const ScopedContainerName& name, DWORD machine = 0) : name_(name), machine_(machine) {
    EXPECT_TRUE(ops.OpenKeyStorage(&storage, GetModuleHandleA(nullptr), machine, 0)) << std::hex << GetLastError();
  }
  ~ProtectedContainer() {
    if (storage) {
      EXPECT_TRUE(ops.CloseStorage(storage));
    }
  }

  const tv::csp::StorageOperations& ops = tv::csp::ProtectedStorage();
  tv::csp::StorageRecord* storage = nullptr;

  bool Create() {
    const std::uint8_t random[5] = {1, 2, 3, 4, 5};
    return ops.CreateKeyContainer(storage, name_.c_str(), random);
  }
  bool Open(bool forDelete = false) { return ops.OpenKeyContainer(storage, name_.c_str(), forDelete); }
  bool Close(const std::uint8_t* seed = nullptr) { return ops.CloseKeyContainer(storage, seed); }
  bool Delete() { return ops.DeleteKeyContainer(storage); }
  bool Write(RecordSlot slot, Bytes record, std::uint8_t exportable = 1, DWORD userProtected = 0) {
    return ops.WriteKeyContainer(storage, slot, exportable, record.data(), static_cast<DWORD>(record.size()),
                                 userProtected);
  }
  bool WritePair(RecordSlot publicSlot, RecordSlot privateSlot, const Pair& pair, DWORD userProtected = 0) {
    return Write(publicSlot, pair.publicRecord, 1, userProtected) &&
           Write(privateSlot, pair.privateRecord, 1, userProtected);
  }
  // The record of a slot read as the provider context does: size, then data.
  std::optional<Bytes> Read(RecordSlot slot, std::uint8_t* exportable = nullptr) {
    DWORD length = 0;
    if (!ops.ReadKeyContainer(storage, slot, exportable, nullptr, &length)) return std::nullopt;
    Bytes record(length);
    if (!ops.ReadKeyContainer(storage, slot, exportable, record.data(), &length)) return std::nullopt;
    record.resize(length);
    return record;
  }
  std::optional<Bytes> Raw(const char* value) const { return tvtest::RegistryValue(KeyPath(), value); }
  tvtest::ContainerKeyPath KeyPath() const { return tvtest::KeyPathOf(name_.str(), machine_); }

 private:
  const ScopedContainerName& name_;
  DWORD machine_;
};

class ProtectedStorageTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(standIn_.Loaded()) << "the pstorec.dll stand-in is not in " << tvtest::StandInDirectory();
  }

  tvtest::ScopedStandInStore store_;
  tvtest::StandIn standIn_;
  ScopedContainerName name_;
};

// The user's and the machine's containers alike.
TEST_F(ProtectedStorageTest, PairsGoToTheRegistryAndToItems) {
  const Pair exchange = MakePair(1024, 1), signature = MakePair(1024, 2);
  for (DWORD machine : {0u, 1u}) {
    ScopedContainerName name;
    {
      ProtectedContainer c(name, machine);
      ASSERT_TRUE(c.Create());
      EXPECT_EQ(c.Raw("PSKEYS"), Bytes({1, 0, 0, 0}));
      ASSERT_TRUE(c.WritePair(RecordSlot::ExchangePublic, RecordSlot::ExchangePrivate, exchange));
      ASSERT_TRUE(c.WritePair(RecordSlot::SignaturePublic, RecordSlot::SignaturePrivate, signature));
      const std::uint8_t seed[20] = {9};
      ASSERT_TRUE(c.Close(seed));

      // Public records obscured in one keystream, "SPbK" after "EPbK".
      const Bytes stream = KeystreamOf(name.str(), 2 * 156);
      EXPECT_EQ(c.Raw("EPbK"), tvtest::Xor(exchange.publicRecord, stream, 0));
      EXPECT_EQ(c.Raw("SPbK"), tvtest::Xor(signature.publicRecord, stream, 156));
      EXPECT_EQ(c.Raw("ExchTypeSubtype"), Identity(tvtest::kExchangeSubtype));
      EXPECT_EQ(c.Raw("SigTypeSubtype"), Identity(tvtest::kSignatureSubtype));
      EXPECT_EQ(c.Raw("EPvK"), std::nullopt);
      EXPECT_EQ(c.Raw("SPvK"), std::nullopt);
      EXPECT_EQ(c.Raw("RandSeed"), Bytes(std::begin(seed), std::end(seed)));
    }
    EXPECT_EQ(standIn_.Item(tvtest::kExchangeSubtype, name.str()), tvtest::ItemBlock(exchange.privateRecord));
    EXPECT_EQ(standIn_.Item(tvtest::kSignatureSubtype, name.str()), tvtest::ItemBlock(signature.privateRecord));

    ProtectedContainer c(name, machine);
    ASSERT_TRUE(c.Open());
    std::uint8_t exportable = 0;
    EXPECT_EQ(c.Read(RecordSlot::ExchangePrivate, &exportable), exchange.privateRecord) << "machine " << machine;
    EXPECT_EQ(exportable, 1);
    EXPECT_EQ(c.Read(RecordSlot::SignaturePrivate), signature.privateRecord);
    EXPECT_EQ(c.Read(RecordSlot::SignaturePublic), signature.publicRecord);
    EXPECT_TRUE(c.Close());
  }
}

TEST_F(ProtectedStorageTest, SizeQueryOfAPrivateSlotIsFiveTimesItsPublicRecord) {
  ProtectedContainer c(name_);
  ASSERT_TRUE(c.Create());
  ASSERT_TRUE(c.WritePair(RecordSlot::ExchangePublic, RecordSlot::ExchangePrivate, MakePair(1024, 3)));
  DWORD length = 0;
  ASSERT_TRUE(c.ops.ReadKeyContainer(c.storage, RecordSlot::ExchangePrivate, nullptr, nullptr, &length));
  EXPECT_EQ(length, 780u);
  // The signature pair is absent: not an error.
  SetLastError(ERROR_INVALID_DATA);
  EXPECT_FALSE(c.ops.ReadKeyContainer(c.storage, RecordSlot::SignaturePrivate, nullptr, nullptr, &length));
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_TRUE(c.Close());
}

TEST_F(ProtectedStorageTest, AddingAnExchangePairKeepsTheSignaturePairReadable) {
  const Pair exchange = MakePair(2048, 4), signature = MakePair(1024, 5);
  ProtectedContainer c(name_);
  ASSERT_TRUE(c.Create());
  ASSERT_TRUE(c.WritePair(RecordSlot::SignaturePublic, RecordSlot::SignaturePrivate, signature));
  ASSERT_TRUE(c.WritePair(RecordSlot::ExchangePublic, RecordSlot::ExchangePrivate, exchange));
  EXPECT_EQ(c.Read(RecordSlot::SignaturePublic), signature.publicRecord);
  EXPECT_EQ(c.Raw("SPbK"), tvtest::Xor(signature.publicRecord, KeystreamOf(name_.str(), 284 + 156), 284));
  EXPECT_TRUE(c.Close());
}

TEST_F(ProtectedStorageTest, ASecondContainerReusesTheItemTypes) {
  ScopedContainerName second;
  for (const ScopedContainerName* name : {&name_, &second}) {
    ProtectedContainer c(*name);
    ASSERT_TRUE(c.Create()) << std::hex << GetLastError();
    ASSERT_TRUE(c.WritePair(RecordSlot::ExchangePublic, RecordSlot::ExchangePrivate, MakePair(512, 6)));
    EXPECT_TRUE(c.Close());
  }
  EXPECT_TRUE(standIn_.Item(tvtest::kExchangeSubtype, second.str()).has_value());
}

TEST_F(ProtectedStorageTest, ConfirmationStyleFollowsUserProtection) {
  const struct {
    DWORD userProtected;
    DWORD style;
  } cases[] = {{0, kConfirmNone}, {CRYPT_USER_PROTECTED, kConfirmDefault}};
  for (const auto& c : cases) {
    ScopedContainerName name;
    ProtectedContainer container(name);
    ASSERT_TRUE(container.Create());
    ASSERT_TRUE(container.WritePair(RecordSlot::SignaturePublic, RecordSlot::SignaturePrivate, MakePair(512, 7),
                                    c.userProtected));
    EXPECT_TRUE(container.Close());
    EXPECT_EQ(standIn_.ConfirmationStyle(tvtest::kSignatureSubtype, name.str()), c.style)
        << "user protected " << c.userProtected;
  }
}

// Only a key that names an item, or carries the backend's mark, is one of
// its containers.
TEST_F(ProtectedStorageTest, OnlyMarkedKeysAreContainers) {
  const struct {
    const char* value;
    bool container;
  } cases[] = {
      {nullptr, false}, {"EPvK", false}, {"SPvK", false}, {"EPbK", false},
      {"ExchTypeSubtype", true}, {"SigTypeSubtype", true}, {"PSKEYS", true},
  };
  for (const auto& c : cases) {
    ScopedContainerName name;
    const tvtest::ContainerKeyPath path = tvtest::KeyPathOf(name.str(), 0);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(path.root, path.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const BYTE data[4] = {1, 0, 0, 0};
    if (c.value) RegSetValueExA(key, c.value, 0, REG_BINARY, data, sizeof data);
    RegCloseKey(key);
    ProtectedContainer container(name);
    EXPECT_EQ(container.Open(), c.container) << (c.value ? c.value : "no value");
    if (c.container) {
      EXPECT_TRUE(container.Close());
    }
  }
}

// A container made and closed without key pairs opens again, has no pairs
// and can be deleted.
TEST_F(ProtectedStorageTest, EmptyContainerOpensAndDeletes) {
  {
    ProtectedContainer c(name_);
    ASSERT_TRUE(c.Create());
    const std::uint8_t seed[20] = {};
    ASSERT_TRUE(c.Close(seed));
  }
  ProtectedContainer c(name_);
  ASSERT_TRUE(c.Open());
  for (RecordSlot slot : {RecordSlot::ExchangePrivate, RecordSlot::SignaturePrivate}) {
    DWORD length = 0;
    SetLastError(ERROR_INVALID_DATA);
    EXPECT_FALSE(c.ops.ReadKeyContainer(c.storage, slot, nullptr, nullptr, &length));
    EXPECT_EQ(GetLastError(), 0u);
  }
  ASSERT_TRUE(c.Close());
  ASSERT_TRUE(c.Open(true));
  EXPECT_TRUE(c.Delete());
  EXPECT_FALSE(tvtest::RegistryKeyExists(c.KeyPath()));
}

TEST_F(ProtectedStorageTest, DeletingRemovesItemsAndKeyEvenWhenItemsAreGone) {
  for (bool itemsGone : {false, true}) {
    ScopedContainerName name;
    ProtectedContainer c(name);
    ASSERT_TRUE(c.Create());
    ASSERT_TRUE(c.WritePair(RecordSlot::ExchangePublic, RecordSlot::ExchangePrivate, MakePair(512, 8)));
    ASSERT_TRUE(c.WritePair(RecordSlot::SignaturePublic, RecordSlot::SignaturePrivate, MakePair(512, 9)));
    ASSERT_TRUE(c.Close());
    if (itemsGone) {
      EXPECT_EQ(standIn_.DeleteItem(tvtest::kExchangeSubtype, name.str()), S_OK);
      EXPECT_EQ(standIn_.DeleteItem(tvtest::kSignatureSubtype, name.str()), S_OK);
    }
    ASSERT_TRUE(c.Open(true));
    EXPECT_TRUE(c.Delete()) << "items gone " << itemsGone << " " << std::hex << GetLastError();
    EXPECT_FALSE(tvtest::RegistryKeyExists(c.KeyPath()));
    EXPECT_EQ(standIn_.Item(tvtest::kExchangeSubtype, name.str()), std::nullopt);
    EXPECT_EQ(standIn_.Item(tvtest::kSignatureSubtype, name.str()), std::nullopt);
  }
}

// The user's and the machine's container of one name would name the same
// items: a second one is refused, and deleting one keeps what the other
// (made before this rule) still uses.
TEST_F(ProtectedStorageTest, SameNameInTheOtherRootKeepsItsKeys) {
  const Pair pair = MakePair(512, 12);
  ProtectedContainer user(name_, 0);
  ASSERT_TRUE(user.Create());
  ASSERT_TRUE(user.WritePair(RecordSlot::ExchangePublic, RecordSlot::ExchangePrivate, pair));
  ASSERT_TRUE(user.Close());

  ProtectedContainer machine(name_, 1);
  EXPECT_FALSE(machine.Create());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_EXISTS));
  EXPECT_FALSE(tvtest::RegistryKeyExists(machine.KeyPath()));

  // A machine container of the same name from before: the user's deletion
  // leaves the items.
  const tvtest::ContainerKeyPath machineKey = machine.KeyPath();
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(machineKey.root, machineKey.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  const BYTE mark[4] = {1, 0, 0, 0};
  RegSetValueExA(key, "PSKEYS", 0, REG_BINARY, mark, sizeof mark);
  RegCloseKey(key);
  ASSERT_TRUE(user.Open(true));
  EXPECT_TRUE(user.Delete());
  EXPECT_FALSE(tvtest::RegistryKeyExists(user.KeyPath()));
  EXPECT_EQ(standIn_.Item(tvtest::kExchangeSubtype, name_.str()), tvtest::ItemBlock(pair.privateRecord));
}

// Items that are not whole ItemBlocks are refused without reading past
// them; a record longer than the buffer asks for a larger one.
TEST_F(ProtectedStorageTest, DamagedItemsFailCleanly) {
  const Bytes record = MakePair(512, 10).privateRecord;  // 380 bytes
  auto withLength = [&](std::uint32_t length) {
    Bytes item = tvtest::ItemBlock(record);
    std::memcpy(item.data() + 4, &length, 4);
    return item;
  };
  const struct {
    const char* what;
    Bytes item;
    DWORD bufferSize;
    DWORD error;
  } cases[] = {
      {"empty", {}, 1000, static_cast<DWORD>(NTE_KEYSET_ENTRY_BAD)},
      {"shorter than its header", {1, 0, 0, 0, 0x7C}, 1000, static_cast<DWORD>(NTE_KEYSET_ENTRY_BAD)},
      {"length beyond the item", withLength(381), 1000, static_cast<DWORD>(NTE_KEYSET_ENTRY_BAD)},
      {"length far beyond the item", withLength(0xFFFFFFF8), 1000, static_cast<DWORD>(NTE_KEYSET_ENTRY_BAD)},
      {"length short of the item", withLength(379), 1000, static_cast<DWORD>(NTE_KEYSET_ENTRY_BAD)},
      {"record larger than the buffer", tvtest::ItemBlock(record), 379, ERROR_MORE_DATA},
  };
  ProtectedContainer c(name_);
  ASSERT_TRUE(c.Create());
  ASSERT_TRUE(c.WritePair(RecordSlot::ExchangePublic, RecordSlot::ExchangePrivate, MakePair(512, 10)));
  for (const auto& k : cases) {
    ASSERT_EQ(standIn_.WriteItem(tvtest::kExchangeSubtype, name_.str(), k.item), S_OK) << k.what;
    Bytes buffer(k.bufferSize + 16, 0xA5);
    DWORD length = k.bufferSize;
    std::uint8_t exportable = 0xEE;
    EXPECT_FALSE(c.ops.ReadKeyContainer(c.storage, RecordSlot::ExchangePrivate, &exportable, buffer.data(), &length))
        << k.what;
    EXPECT_EQ(GetLastError(), k.error) << k.what;
    EXPECT_EQ(buffer, Bytes(k.bufferSize + 16, 0xA5)) << k.what << ": the buffer was written";
    if (k.error == ERROR_MORE_DATA) {
      EXPECT_EQ(length, record.size());
    }
  }
  EXPECT_TRUE(c.Close());
}

// When the service refuses the item, the container's values stay as they
// were: no name of an item that does not exist.
TEST_F(ProtectedStorageTest, RefusedItemLeavesTheValuesAsTheyWere) {
  const Pair pair = MakePair(512, 11);
  ProtectedContainer c(name_);
  ASSERT_TRUE(c.Create());
  ASSERT_TRUE(c.Write(RecordSlot::ExchangePublic, pair.publicRecord));
  store_.SwitchToEmptyStore();  // the item type is not known there
  EXPECT_FALSE(c.Write(RecordSlot::ExchangePrivate, pair.privateRecord, 0));
  EXPECT_EQ(c.Raw("ExchTypeSubtype"), std::nullopt);
  EXPECT_EQ(c.Raw("EExport"), Bytes{1});
  EXPECT_TRUE(c.Close());
}

}  // namespace
