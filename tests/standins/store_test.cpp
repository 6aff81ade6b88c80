// The simulator's store on its own: the checked file envelope catches every
// damage, the codecs refuse inconsistent content, replacement survives a side
// file left by a killed writer, and the lock survives a holder that died.
#include <gtest/gtest.h>

#include <thread>

#include "standins/tvkey32/store/checked_record.h"
#include "standins/tvkey32/store/cross_process_lock.h"
#include "standins/tvkey32/store/fault_table.h"
#include "standins/tvkey32/store/key_codec.h"
#include "standins/tvkey32/store/reader_set.h"
#include "standins/tvkey32/store/simulator_files.h"
#include "tests/support/isolation.h"

namespace tvtest {
namespace {

using namespace tv::keysim;

KeyState SampleKey() {
  KeySettings settings;
  settings.label = "Sample";
  settings.pin = ToSecret("1234");
  KeyState key = MakeFormattedKey(settings);
  const std::uint8_t data[] = {1, 2, 3, 4, 5};
  EXPECT_EQ(WriteArea(key, 221, 0, data), 0u);
  EXPECT_EQ(WriteBir(key, 0, data), 0u);
  SetApplicationValues(key, 227, 7, 0);
  return key;
}

TEST(CheckedRecord, EveryFlippedByteAndEveryTruncationIsCaught) {
  const SecretBytes sealed = SealRecord(RecordKind::Key, EncodeKey(SampleKey()));
  SecretBytes payload;
  ASSERT_EQ(OpenRecord(sealed, RecordKind::Key, payload), RecordCheck::Sound);
  for (std::size_t i = 0; i < sealed.size(); ++i) {
    SecretBytes damaged = sealed;
    damaged[i] ^= 0x01;
    EXPECT_NE(OpenRecord(damaged, RecordKind::Key, payload), RecordCheck::Sound) << "byte " << i;
  }
  for (std::size_t n = 0; n < sealed.size(); ++n) {
    const std::span<const std::uint8_t> cut(sealed.data(), n);
    EXPECT_EQ(OpenRecord(cut, RecordKind::Key, payload), RecordCheck::Damaged) << "length " << n;
  }
}

TEST(CheckedRecord, AFileOfAnotherKindIsDamaged) {
  const SecretBytes sealed = SealRecord(RecordKind::ReaderSet, EncodeReaderSet(ReaderSet{}));
  SecretBytes payload;
  EXPECT_EQ(OpenRecord(sealed, RecordKind::Key, payload), RecordCheck::Damaged);
}

TEST(KeyCodec, RoundTripsEveryField) {
  KeyState key = SampleKey();
  key.faulty = true;
  key.finallyBlocked = true;
  key.attemptsLeft = 1;
  const auto decoded = DecodeKey(EncodeKey(key));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(EncodeKey(*decoded), EncodeKey(key));
  EXPECT_EQ(decoded->label, "Sample");
  EXPECT_EQ(AsText(decoded->pin), "1234");
  EXPECT_EQ(ApplicationValues(*decoded, 227).first, 7u);
}

TEST(KeyCodec, RefusesInconsistentKeys) {
  struct Case {
    const char* what;
    void (*spoil)(KeyState&);
  };
  const Case cases[] = {
      {"more attempts left than allowed", [](KeyState& k) { k.attemptsLeft = k.attemptsMax + 1; }},
      {"data beyond the capacity", [](KeyState& k) { k.capacity = 4; }},
      {"capacity beyond the limit", [](KeyState& k) { k.capacity = kMaxCapacity + 1; }},
      {"label too long", [](KeyState& k) { k.label.assign(33, 'x'); }},
      {"PIN too long", [](KeyState& k) { k.pin.assign(65, 'x'); }},
  };
  for (const Case& c : cases) {
    KeyState key = SampleKey();
    c.spoil(key);
    EXPECT_FALSE(DecodeKey(EncodeKey(key))) << c.what;
  }
  SecretBytes trailing = EncodeKey(SampleKey());
  trailing.push_back(0);
  EXPECT_FALSE(DecodeKey(trailing)) << "bytes after the Key";
}

TEST(ReaderSetCodec, RefusesDuplicateReadersAndKeysInTwoReaders) {
  ReaderSet twice;
  twice.readers = {{"R", 1, "", 0}, {"r", 1, "", 0}};
  EXPECT_FALSE(DecodeReaderSet(EncodeReaderSet(twice)));
  ReaderSet shared;
  shared.readers = {{"R1", 1, "k", 1}, {"R2", 1, "K", 2}};
  EXPECT_FALSE(DecodeReaderSet(EncodeReaderSet(shared)));
  ReaderSet disk;
  disk.readers = {{"Floppy", 40, "", 0}};
  EXPECT_FALSE(DecodeReaderSet(EncodeReaderSet(disk))) << "a disk-drive reader must end in its drive root";
}

TEST(FaultTable, CountsUsesDownAndDropsSpentFaults) {
  FaultTable table;
  table.SetOperationFault("ReadData", 2, 31);
  EXPECT_EQ(table.TakeOperationFault("readdata"), 31u);
  EXPECT_EQ(table.TakeOperationFault("ReadData"), 31u);
  EXPECT_FALSE(table.TakeOperationFault("ReadData"));
  EXPECT_TRUE(table.Empty());
  const auto decoded = DecodeFaultTable(EncodeFaultTable(table));
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->Empty());
}

TEST(KeyFiles, SideFileOfAKilledWriterIsHarmless) {
  TempDir dir;
  const KeyPlace place = NamedKeyPlace(dir.Path(), "k");
  ASSERT_EQ(SaveKey(place, SampleKey()), 0u);
  const std::string side = place.file + ".tmp";
  FILE* f = fopen(side.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fputs("half a Key", f);
  fclose(f);
  EXPECT_TRUE(LoadKey(place).Ok());
  KeyState changed = SampleKey();
  changed.label = "Changed";
  ASSERT_EQ(SaveKey(place, changed), 0u);
  EXPECT_EQ(LoadKey(place).value.label, "Changed");
  EXPECT_EQ(GetFileAttributesA(side.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(CrossProcessLockTest, LockOfAHolderThatDiedIsTakenOver) {
  TempDir dir;
  HANDLE mutex = CreateMutexA(nullptr, FALSE, CrossProcessLock::MutexName(dir.Path()).c_str());
  // The thread ends without releasing: the mutex is abandoned.
  std::thread holder([&] { WaitForSingleObject(mutex, INFINITE); });
  holder.join();
  {
    CrossProcessLock lock(dir.Path(), 2000);
    EXPECT_EQ(lock.Error(), 0u);
  }
  CloseHandle(mutex);
}

TEST(CrossProcessLockTest, NamesDependOnThePathButNotItsCase) {
  EXPECT_EQ(CrossProcessLock::MutexName("C:\\Sim"), CrossProcessLock::MutexName("c:\\sim"));
  EXPECT_NE(CrossProcessLock::MutexName("C:\\Sim"), CrossProcessLock::MutexName("C:\\Sim2"));
}

}  // namespace
}  // namespace tvtest
