// The reader list kept by the reader manager, rebuilt from the simulator's
// readers, with the notifications for readers that come and go.
#include <gtest/gtest.h>

#include "tests/standins/simulator_fixture.h"
#include "tests/token/recording_owner.h"

namespace tvtest {
namespace {

using tv::token::kProviderSmartKey;
using tv::token::kStoreSmartKey;
using tv::token::ReaderRecord;
using tv::token::ReaderState;
using Events = std::vector<std::string>;

class ReaderListTest : public SimulatorTest {};

TEST_F(ReaderListTest, ReadersAddedAndRemovedBetweenCallsComeAndGo) {
  AddReader("A");
  AddReader("B");
  RecordingOwner owner(kProviderSmartKey);
  ASSERT_TRUE(owner.Initialize(kCspApplication));
  EXPECT_EQ(owner.Events(), (Events{"onReaderChanged A 1", "onReaderChanged B 1"}));
  ASSERT_EQ(owner.ReaderCount(), 2u);
  EXPECT_STREQ(owner.ReaderNameAt(0), "A");
  EXPECT_STREQ(owner.ReaderNameAt(1), "B");
  EXPECT_EQ(owner.ReaderNameAt(2), nullptr);

  RemoveReader("A");
  AddReader("C");
  owner.OpenAllReaders();
  // A was never seen without a Key, so it may have held one.
  EXPECT_EQ(owner.Events(), (Events{"onReaderChanged A 1", "onReaderChanged B 1", "onReaderChanged C 1",
                                    "onKeyRemoved A", "onReaderChanged A 0"}));
  EXPECT_EQ(owner.ReaderCount(), 2u);
  EXPECT_EQ(owner.FindReader("A"), nullptr);
  ASSERT_NE(owner.FindReader("B"), nullptr);
  ReaderRecord* c = owner.FindReader("C");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(owner.ReaderAt(c->index), c);
}

TEST_F(ReaderListTest, ReaderLastSeenWithoutKeyGoesSilently) {
  AddReader("Empty");
  AddReader("Full");
  CreateKey("k");
  Insert("k", "Full");
  RecordingOwner owner(kStoreSmartKey);
  ASSERT_TRUE(owner.Initialize(kStoreApplication));
  owner.ProcessReader(0);
  owner.ProcessReader(1);
  EXPECT_EQ(owner.FindReader("Empty")->lastStatus, tvkey32::kStatusNoKey);
  EXPECT_EQ(owner.FindReader("Full")->state, ReaderState::Ready);

  RemoveReader("Empty");
  RemoveReader("Full");
  const std::size_t before = owner.Events().size();
  owner.OpenAllReaders();
  const Events events = owner.Events();
  EXPECT_EQ(Events(events.begin() + before, events.end()), (Events{"onKeyRemoved Full", "onReaderChanged Full 0"}));
  EXPECT_EQ(owner.ReaderCount(), 0u);
}

TEST_F(ReaderListTest, FindReaderWithoutNameGivesTheFirstReaderNotWaiting) {
  AddReader("A");
  AddReader("B");
  CreateKey("k");
  Insert("k", "B");
  RecordingOwner owner(kStoreSmartKey);
  ASSERT_TRUE(owner.Initialize(kStoreApplication));
  EXPECT_EQ(owner.FindReader(nullptr), nullptr);
  owner.ProcessReader(0);
  owner.ProcessReader(1);
  ReaderRecord* found = owner.FindReader(nullptr);
  ASSERT_NE(found, nullptr);
  EXPECT_STREQ(found->name, "B");
  EXPECT_EQ(owner.FindReader("B")->index, 1u);
}

// A library that reports too much: 70 readers, names of 300 characters,
// labels without terminator.
TEST(ReaderListBoundsTest, NothingTheLibraryReportsOverflowsAField) {
  tv::token::SmartKeyOptions options = kStoreSmartKey;
  options.tokenLibrary = "oversized_tvkey32.dll";
  RecordingOwner owner(options);
  ASSERT_TRUE(owner.Initialize(kStoreApplication));
  ASSERT_EQ(owner.ReaderCount(), 64u);
  EXPECT_EQ(owner.ReaderNameAt(64), nullptr);
  const std::string first(owner.ReaderNameAt(0));
  EXPECT_EQ(first.size(), 250u);
  EXPECT_EQ(first.substr(0, 4), "000x");
  EXPECT_EQ(std::string(owner.ReaderNameAt(63)).substr(0, 3), "063");
  EXPECT_NE(owner.FindReader(first.c_str()), nullptr);

  owner.ProcessReader(0);
  const ReaderRecord* r = owner.ReaderAt(0);
  EXPECT_EQ(std::string(r->card.label), std::string(32, 'L'));
  EXPECT_EQ(r->state, ReaderState::Ready);
}

TEST_F(ReaderListTest, LongestReaderNameIsKeptWhole) {
  const std::string name(250, 'n');
  AddReader(name);
  RecordingOwner owner(kProviderSmartKey);
  ASSERT_TRUE(owner.Initialize(kCspApplication));
  ASSERT_NE(owner.ReaderNameAt(0), nullptr);
  EXPECT_EQ(std::string(owner.ReaderNameAt(0)), name);
  EXPECT_NE(owner.FindReader(name.c_str()), nullptr);
}

TEST_F(ReaderListTest, CloseAllReadersEmptiesTheList) {
  AddReader("A");
  RecordingOwner owner(kProviderSmartKey);
  ASSERT_TRUE(owner.Initialize(kCspApplication));
  const int handle = owner.ReaderAt(0)->handle;
  owner.CloseAllReaders();
  EXPECT_EQ(owner.ReaderCount(), 0u);
  EXPECT_EQ(owner.ReaderNameAt(0), nullptr);
  EXPECT_EQ(api.InitCard(handle, kCspApplication), tvkey32::kStatusReaderError) << "the handle was closed";
}

}  // namespace
}  // namespace tvtest
