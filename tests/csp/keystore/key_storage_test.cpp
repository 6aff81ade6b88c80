// The Key backend through its operation table, over the simulator.
#include <gtest/gtest.h>
#include <windows.h>

#include "csp/storage/key_backend.h"
#include "tests/csp/keystore/key_storage_fixture.h"
#include "tests/csp/storage/test_keys.h"
#include "tests/token/key_session_fixture.h"

namespace tvtest {
namespace {

using tv::csp::RecordSlot;

const Bytes& TestRecord() {
  static const Bytes record = MakePair(1024, 7).privateRecord;
  return record;
}

// The PIN is typed once, at the creation; the block on the Key is the
// record behind the container's tag; both private slots read the one
// record, and a later storage opens the container with the remembered PIN.
TEST_F(KeyStorageTest, PairLivesOnTheKeyUnderTheContainersTag) {
  const Bytes& record = TestRecord();
  {
    KeyStorageSession storage(0, nullptr);
    const Answered created = RunAnswering(kCreateCaption, {TypePin(kKeyPin)}, [&] {
      return storage.Ops().CreateKeyContainer(storage.Get(), "alpha", nullptr);
    });
    ASSERT_TRUE(created.ok) << std::hex << created.error;
    const Answered written = RunAnswering(kCreateCaption, {}, [&] {
      return storage.Write(RecordSlot::ExchangePublic, MakePair(1024, 7).publicRecord) &&
             storage.Write(RecordSlot::ExchangePrivate, record);
    });
    ASSERT_TRUE(written.ok) << std::hex << written.error;
    EXPECT_EQ(KeyData(), ExpectedBlock("alpha", record)) << "the public record is not kept on the Key";

    DWORD size = 0;
    std::uint8_t exportable = 0;
    ASSERT_TRUE(storage.Ops().ReadKeyContainer(storage.Get(), RecordSlot::ExchangePrivate, &exportable, nullptr, &size));
    EXPECT_EQ(size, record.size() + 13);
    EXPECT_EQ(storage.Read(RecordSlot::ExchangePrivate), record);
    EXPECT_EQ(storage.Read(RecordSlot::SignaturePrivate), record);
  }
  KeyStorageSession later(0, nullptr);
  const Answered opened = RunAnswering(kOpenCaption, {}, [&] {
    return later.Ops().OpenKeyContainer(later.Get(), "alpha", false) &&
           later.Read(RecordSlot::SignaturePrivate) == record;
  });
  EXPECT_TRUE(opened.ok) << std::hex << opened.error;
}

TEST_F(KeyStorageTest, JustCreatedContainerHasNoPair) {
  KeyStorageSession storage;
  ASSERT_TRUE(storage.Ops().CreateKeyContainer(storage.Get(), "fresh", nullptr));
  DWORD length = 0;
  std::uint8_t exportable = 0;
  EXPECT_FALSE(storage.Ops().ReadKeyContainer(storage.Get(), RecordSlot::ExchangePrivate, &exportable, nullptr, &length));
  EXPECT_EQ(GetLastError(), 0u) << "a missing pair, not an error";
}

// A Key holding another container: the holder is told, and may cancel or
// put in the right Key; a silent storage fails without a window. The
// caller's buffer never keeps a byte of the other block.
TEST_F(KeyStorageTest, WrongKeyIsSaidAndTheRightOneMayBePutIn) {
  const Bytes& record = TestRecord();
  {
    KeyStorageSession storage;
    CreateWithPair(storage, "alpha", record);
  }
  const Bytes alphaBlock = KeyData("k");
  PutFreshKey("other");
  {
    KeyStorageSession storage;
    CreateWithPair(storage, "beta", MakePair(1024, 3).privateRecord);
  }
  std::string message;
  KeyStorageSession declining;
  ASSERT_TRUE(declining.Ops().OpenKeyContainer(declining.Get(), "alpha", false));
  const Answered cancelled = RunAnswering(kOpenCaption, {Screenshot("provider_wrong_key", PressButton(IDCANCEL, &message))}, [&] {
    return !declining.Read(RecordSlot::ExchangePrivate).empty();
  });
  EXPECT_FALSE(cancelled.ok);
  EXPECT_EQ(cancelled.error, static_cast<DWORD>(ERROR_CANCELLED));
  EXPECT_EQ(message, "You have connected a wrong Key!\nPlease connect another one and press OK.");

  KeyStorageSession silent(1);
  ASSERT_TRUE(silent.Ops().OpenKeyContainer(silent.Get(), "alpha", false));
  Bytes buffer(record.size() + 13, 0xEE);
  DWORD length = static_cast<DWORD>(buffer.size());
  std::uint8_t exportable = 0;
  const Answered refused = RunAnswering(kOpenCaption, {}, [&] {
    return silent.Ops().ReadKeyContainer(silent.Get(), RecordSlot::ExchangePrivate, &exportable, buffer.data(), &length);
  });
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.error, static_cast<DWORD>(NTE_SILENT_CONTEXT));
  EXPECT_EQ(buffer, Bytes(buffer.size(), 0));

  KeyStorageSession storage;
  ASSERT_TRUE(storage.Ops().OpenKeyContainer(storage.Get(), "alpha", false));
  const Answered swapped = RunAnswering(kOpenCaption, {[&](HWND box, const WindowSnapshot&) {
                                          Eject(kReader);
                                          Insert("k", kReader);
                                          DialogDriver::Press(box, IDOK);
                                        }},
                                        [&] { return storage.Read(RecordSlot::ExchangePrivate) == record; });
  EXPECT_TRUE(swapped.ok) << std::hex << swapped.error;
  EXPECT_EQ(KeyData("k"), alphaBlock);
}

// Deleting a container removes its block; a Key holding another container
// keeps its data. The registry key that marks a Key container goes too.
TEST_F(KeyStorageTest, DeleteRemovesOnlyTheContainersOwnBlock) {
  {
    KeyStorageSession storage;
    CreateWithPair(storage, "alpha", TestRecord());
  }
  const Bytes block = KeyData();
  {
    KeyStorageSession storage;
    ASSERT_TRUE(storage.Ops().OpenKeyContainer(storage.Get(), "beta", true));
    EXPECT_TRUE(storage.Ops().DeleteKeyContainer(storage.Get())) << std::hex << GetLastError();
  }
  EXPECT_EQ(KeyData(), block);

  const std::string path = "Software\\Microsoft\\Cryptography\\UserKeys\\alpha";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, path.c_str(), &key), ERROR_SUCCESS);
  const BYTE mark = 1;
  RegSetValueExA(key, "ESmart", 0, REG_BINARY, &mark, 1);
  RegCloseKey(key);
  {
    KeyStorageSession storage;
    ASSERT_TRUE(storage.Ops().OpenKeyContainer(storage.Get(), "alpha", true));
    EXPECT_TRUE(storage.Ops().DeleteKeyContainer(storage.Get())) << std::hex << GetLastError();
  }
  EXPECT_TRUE(KeyData().empty());
  EXPECT_NE(RegOpenKeyA(HKEY_CURRENT_USER, path.c_str(), &key), ERROR_SUCCESS) << "the marked registry key stays";
}

// A block whose header does not fit the data area, or a caller's buffer
// too small for it, fails with an error (never "no pair") and leaves the
// caller's buffer wiped.
TEST_F(KeyStorageTest, DamagedBlocksAndShortBuffersFailWithAnError) {
  const Bytes& record = TestRecord();
  const Bytes sound = ExpectedBlock("alpha", record);
  Bytes longer = sound;
  longer[9] += 1;
  Bytes version = sound;
  version[5] = 2;
  const struct {
    const char* what;
    Bytes data;
    DWORD bufferSize;
    DWORD error;
  } cases[] = {
      {"length field beyond the data", longer, 2000, static_cast<DWORD>(NTE_KEYSET_ENTRY_BAD)},
      {"unknown version", version, 2000, static_cast<DWORD>(NTE_KEYSET_ENTRY_BAD)},
      {"data shorter than the header", Bytes(sound.begin(), sound.begin() + 9), 2000,
       static_cast<DWORD>(NTE_KEYSET_ENTRY_BAD)},
      {"buffer below the header", sound, 12, static_cast<DWORD>(ERROR_MORE_DATA)},
      {"buffer one byte short of the record", sound, static_cast<DWORD>(record.size() - 1),
       static_cast<DWORD>(ERROR_MORE_DATA)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetKeyData(c.data);
    KeyStorageSession storage;
    ASSERT_TRUE(storage.Ops().OpenKeyContainer(storage.Get(), "alpha", false));
    Bytes buffer(c.bufferSize, 0xEE);
    DWORD length = c.bufferSize;
    std::uint8_t exportable = 0;
    EXPECT_FALSE(
        storage.Ops().ReadKeyContainer(storage.Get(), RecordSlot::ExchangePrivate, &exportable, buffer.data(), &length));
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(buffer, Bytes(c.bufferSize, 0));
  }
}

// A record whose block would not fit the Key's 16-bit write count is
// refused before the Key is asked for; the Key keeps its block.
TEST_F(KeyStorageTest, OversizedRecordIsRefusedBeforeTheKeyIsTouched) {
  CreateKey("k", kKeyPin, tv::keysim::kDefaultAttempts, 128 * 1024);
  Insert("k", kReader);
  KeyStorageSession storage;
  CreateWithPair(storage, "alpha", TestRecord());
  const Bytes block = KeyData();
  const Answered refused = RunAnswering(kCreateCaption, {}, [&] {
    return storage.Write(RecordSlot::SignaturePrivate, Bytes(65535 - 12, 0x5A));
  });
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.error, static_cast<DWORD>(NTE_BAD_LEN));
  EXPECT_EQ(KeyData(), block);
  const Answered largest = RunAnswering(kCreateCaption, {PressButton(IDYES)}, [&] {
    return storage.Write(RecordSlot::SignaturePrivate, Bytes(65535 - 13, 0x5A));
  });
  EXPECT_TRUE(largest.ok) << std::hex << largest.error;
  EXPECT_EQ(KeyData().size(), 65535u);
}

// A write the Key refuses leaves no block behind (the pair it replaced
// was given up when the holder agreed to overwrite it), and says why.
TEST_F(KeyStorageTest, FailedWriteLeavesTheDataAreaEmpty) {
  const struct {
    const char* what;
    std::uint32_t capacity;
    const char* fault;
    DWORD error;
  } cases[] = {
      {"the Key fails the write", tv::keysim::kDefaultCapacity, "WriteData", ERROR_IO_DEVICE},
      {"the block does not fit the Key", 512, nullptr, static_cast<DWORD>(SCARD_E_NO_MEMORY)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CreateKey("k", kKeyPin, tv::keysim::kDefaultAttempts, c.capacity);
    Insert("k", kReader);
    KeyStorageSession storage;
    CreateWithPair(storage, "alpha", MakePair(512, 1).privateRecord);
    if (c.fault) {
      ASSERT_TRUE(api.KeySimSetFault(c.fault, 1, c.error));
    }
    const Answered failed = RunAnswering(kCreateCaption, {PressButton(IDYES)}, [&] {
      return storage.Write(RecordSlot::ExchangePrivate, TestRecord());
    });
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.error, c.error);
    EXPECT_TRUE(KeyData().empty());
  }
}

// After the pair was read the Key counts as present until it is taken out;
// put back, it is a new insertion and the pairs are to be read again.
TEST_F(KeyStorageTest, KeyIsPresentUntilTakenOut) {
  KeyStorageSession storage;
  CreateWithPair(storage, "alpha", TestRecord());
  ASSERT_EQ(storage.Read(RecordSlot::ExchangePrivate), TestRecord());
  ASSERT_EQ(storage.Read(RecordSlot::SignaturePrivate), TestRecord());
  EXPECT_TRUE(storage.Ops().IsKeyPresent(storage.Get()));
  EXPECT_TRUE(storage.Ops().IsKeyPresent(storage.Get()));
  Eject(kReader);
  Insert("k", kReader);
  EXPECT_FALSE(storage.Ops().IsKeyPresent(storage.Get()));
}

// The preset PIN opens the Key without a dialog; a wrong one in a silent
// storage fails without one. Random bytes come from the Key.
TEST_F(KeyStorageTest, PresetPinAndKeyRandomness) {
  {
    KeyStorageSession storage;
    CreateWithPair(storage, "alpha", TestRecord());
  }
  ForgetRememberedKey();
  KeyStorageSession preset;
  const Answered opened = RunAnswering(kOpenCaption, {}, [&] {
    return preset.Ops().OpenKeyContainer(preset.Get(), "alpha", false) &&
           preset.Read(RecordSlot::ExchangePrivate) == TestRecord();
  });
  EXPECT_TRUE(opened.ok) << std::hex << opened.error;
  std::uint8_t random[72] = {};
  EXPECT_TRUE(preset.Ops().GenRandomOnKey(preset.Get(), random, sizeof random));
  EXPECT_NE(Bytes(random, random + sizeof random), Bytes(sizeof random, 0));

  ForgetRememberedKey();
  KeyStorageSession wrong(1, "9999");
  const Answered refused =
      RunAnswering(kOpenCaption, {}, [&] { return wrong.Ops().OpenKeyContainer(wrong.Get(), "alpha", false); });
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.error, static_cast<DWORD>(SCARD_W_WRONG_CHV));
}

// A second container on a Key replaces the first after the overwrite
// question; One Key holds one container.
TEST_F(KeyStorageTest, SecondContainerOverwritesTheFirstAfterAsking) {
  KeyStorageSession first;
  CreateWithPair(first, "alpha", TestRecord());
  KeyStorageSession second;
  const Answered created = RunAnswering(kCreateCaption, {PressButton(IDYES)}, [&] {
    return second.Ops().CreateKeyContainer(second.Get(), "beta", nullptr);
  });
  ASSERT_TRUE(created.ok) << std::hex << created.error;
  EXPECT_TRUE(KeyData().empty()) << "the Key is emptied for the new container";
  const Bytes beta = MakePair(512, 9).privateRecord;
  ASSERT_TRUE(second.Write(RecordSlot::SignaturePrivate, beta));
  EXPECT_EQ(KeyData(), ExpectedBlock("beta", beta));
}

// Closing every storage leaves the session initialised for the next one.
TEST_F(KeyStorageTest, SessionOutlivesTheLastStorage) {
  { KeyStorageSession storage; }
  EXPECT_TRUE(tv::csp::ProviderKeySession().IsInitialized());
  KeyStorageSession again;
  CreateWithPair(again, "alpha", TestRecord());
  EXPECT_EQ(again.Read(RecordSlot::ExchangePrivate), TestRecord());
}

}  // namespace
}  // namespace tvtest
