// One look at one reader (ProcessReader), run on the test thread against the
// simulator: the InitCard status gives the reader's state, status text,
// notifications and the way the Key is let go.
#include <gtest/gtest.h>

#include "standins/tvkey32/store/simulator_files.h"
#include "tests/standins/simulator_fixture.h"
#include "tests/token/recording_owner.h"

namespace tvtest {
namespace {

using tv::token::kProviderSmartKey;
using tv::token::kStoreSmartKey;
using tv::token::ReaderRecord;
using tv::token::ReaderState;
using Events = std::vector<std::string>;

constexpr const char* kWaitingText = "Waiting for Key insertion . . .";

class ProcessReaderTest : public SimulatorTest {
 protected:
  // Reader "R" holding Key "k" with this PIN, and the owner initialised.
  void KeyInReader(const std::string& pin = "", int attempts = tv::keysim::kDefaultAttempts) {
    AddReader("R");
    CreateKey("k", pin, attempts);
    Insert("k", "R");
    ASSERT_TRUE(owner.Initialize(kStoreApplication));
    reader = owner.FindReader("R");
    ASSERT_NE(reader, nullptr);
    owner.answerPin = [this](RecordingOwner&, const char*, int, int) {
      if (pinsToGive.empty()) return false;
      reader->SetCachedPin(pinsToGive.front().c_str());
      pinsToGive.erase(pinsToGive.begin());
      return true;
    };
  }
  // Events since the list was built.
  Events Notified() const {
    Events events = owner.Events();
    std::erase_if(events, [](const std::string& e) { return e.starts_with("onReaderChanged"); });
    return events;
  }
  int AttemptsLeftOnKey() { return LoadKeyState("k").attemptsLeft; }
  // Whether the Key was let go (CloseCard flag 1): the same Key answers -5.
  bool LetGo() { return api.InitCard(reader->handle, kStoreApplication) == tvkey32::kStatusSessionAbsent; }
  int RemainingForcedStatuses() {
    const auto table = tv::keysim::LoadFaultTable(Dir());
    return table.Ok() && !table.value.statuses.empty() ? static_cast<int>(table.value.statuses[0].remaining) : 0;
  }

  RecordingOwner owner{kStoreSmartKey};
  ReaderRecord* reader = nullptr;
  std::vector<std::string> pinsToGive;  // what the owner answers to askPIN, in turn
};

struct UnusableCase {
  int status;
  ReaderState state;
  const char* text;
  bool result;
  bool letGo;
};

TEST_F(ProcessReaderTest, StatusesOfUnusableKeysGiveTheirStatesAndTexts) {
  const UnusableCase cases[] = {
      {0, ReaderState::Blocked, "The Key is blocked!", false, true},
      {-2, ReaderState::NotFormatted, "The Key you connected has not been formatted!", false, true},
      {-3, ReaderState::Faulty, "Unknown error with the Key!", true, true},
      {-6, ReaderState::Faulty, "Unknown error with the Key!", true, true},
      {-7, ReaderState::FinallyBlocked, "The Key is finally blocked!\nIt should be reformatted to reuse.", false, true},
      {-42, ReaderState::Faulty, "Unidentified Key or reader error!", false, false},
  };
  KeyInReader();
  for (const UnusableCase& c : cases) {
    SCOPED_TRACE(c.status);
    api.CloseCard(reader->handle, 0);  // start each case with the Key freshly inserted
    reader->SetCachedPin("1234");
    ASSERT_TRUE(api.KeySimForceStatus("R", c.status, 1));
    const std::size_t before = Notified().size();
    EXPECT_EQ(owner.ProcessReader(0), c.result);
    EXPECT_EQ(reader->state, c.state);
    EXPECT_STREQ(reader->statusText, c.text);
    EXPECT_EQ(reader->lastStatus, c.status);
    const Events events = Notified();
    EXPECT_EQ(Events(events.begin() + static_cast<long>(before), events.end()),
              (Events{std::string("onKeyError R ") + c.text}));
    EXPECT_EQ(reader->HasCachedPin(), c.status != -3 && c.status != -6) << "a faulty Key forgets the PIN";
    if (c.letGo) {
      EXPECT_TRUE(LetGo());
    }
  }
}

TEST_F(ProcessReaderTest, BlockedKeyIsReportedBlocked) {
  KeyInReader("1234");
  EditKey("k", [](tv::keysim::KeyState& key) { key.attemptsLeft = 0; });
  EXPECT_FALSE(owner.ProcessReader(0));
  EXPECT_EQ(reader->state, ReaderState::Blocked);
  EXPECT_EQ(Notified(), (Events{"onKeyError R The Key is blocked!"}));
}

TEST_F(ProcessReaderTest, RightCachedPinMakesTheKeyReady) {
  KeyInReader("1234");
  reader->SetCachedPin("1234");
  EXPECT_TRUE(owner.ProcessReader(0));
  EXPECT_EQ(reader->state, ReaderState::Ready);
  EXPECT_STREQ(reader->statusText, "Ready for operation.");
  EXPECT_EQ(Notified(), (Events{"onPinVerified R 1234", "onKeyReady R"}));
  EXPECT_EQ(reader->attemptsLeft, 3);
  EXPECT_TRUE(LetGo());
}

TEST_F(ProcessReaderTest, KeyWithoutAttemptCountCountsAsThreeAttempts) {
  KeyInReader("", 0);
  EXPECT_TRUE(owner.ProcessReader(0));
  EXPECT_EQ(reader->state, ReaderState::Ready);
  EXPECT_EQ(reader->lastStatus, 3);
  EXPECT_EQ(reader->attemptsLeft, 3);
}

TEST_F(ProcessReaderTest, AbsentKeyInAWaitingReaderIsInitialisedOnceMore) {
  KeyInReader();
  ASSERT_TRUE(api.KeySimForceStatus("R", tvkey32::kStatusSessionAbsent, 1));
  EXPECT_TRUE(owner.ProcessReader(0));
  EXPECT_EQ(reader->state, ReaderState::Ready);

  // Ready and let go: the Key answers -5 and is left alone.
  const std::size_t before = Notified().size();
  EXPECT_FALSE(owner.ProcessReader(0));
  EXPECT_EQ(reader->state, ReaderState::Ready);
  EXPECT_EQ(Notified().size(), before);
}

TEST_F(ProcessReaderTest, KeyThatStaysAbsentIsNotRetriedForever) {
  KeyInReader();
  ASSERT_TRUE(api.KeySimForceStatus("R", tvkey32::kStatusSessionAbsent, 5));
  EXPECT_FALSE(owner.ProcessReader(0));
  EXPECT_EQ(RemainingForcedStatuses(), 3) << "one more InitCard, not more";
  EXPECT_EQ(reader->state, ReaderState::Waiting);
  EXPECT_TRUE(Notified().empty());
}

TEST_F(ProcessReaderTest, RemovalIsReportedOnce) {
  KeyInReader();
  ASSERT_TRUE(owner.ProcessReader(0));
  const BYTE zero[8] = {};
  ASSERT_NE(memcmp(reader->card.cardId, zero, 8), 0);
  Eject("R");
  EXPECT_FALSE(owner.ProcessReader(0));
  EXPECT_FALSE(owner.ProcessReader(0));
  EXPECT_EQ(Notified(), (Events{"onPinVerified R ", "onKeyReady R", "onKeyRemoved R"}));
  EXPECT_EQ(reader->state, ReaderState::Waiting);
  EXPECT_STREQ(reader->statusText, kWaitingText);
  EXPECT_EQ(reader->lastStatus, tvkey32::kStatusNoKey);
  EXPECT_EQ(memcmp(reader->card.cardId, zero, 8), 0);
}

TEST_F(ProcessReaderTest, WrongCachedPinIsDroppedWhenTheOwnerDeclines) {
  KeyInReader("1234");
  reader->SetCachedPin("9999");
  EXPECT_FALSE(owner.ProcessReader(0));
  EXPECT_EQ(Notified(), (Events{"askPIN R 1 2"}));
  EXPECT_EQ(reader->state, ReaderState::PinRequired);
  EXPECT_STREQ(reader->statusText, "Please enter PIN of the Key.");
  EXPECT_FALSE(reader->HasCachedPin());
  EXPECT_EQ(AttemptsLeftOnKey(), 2);
  EXPECT_TRUE(LetGo());

  for (int pass = 0; pass < 3; ++pass) owner.ProcessReader(0);
  EXPECT_EQ(AttemptsLeftOnKey(), 2) << "the wrong PIN is not tried again";
  EXPECT_EQ(Notified().size(), 1u);
}

TEST_F(ProcessReaderTest, PinGivenByTheOwnerIsTriedAtOnce) {
  KeyInReader("1234");
  reader->SetCachedPin("9999");
  pinsToGive = {"1234"};
  EXPECT_TRUE(owner.ProcessReader(0));
  EXPECT_EQ(Notified(), (Events{"askPIN R 1 2", "onPinVerified R 1234", "onKeyReady R"}));
  EXPECT_EQ(reader->failedPinCount, 0);
  EXPECT_EQ(AttemptsLeftOnKey(), 3);
}

TEST_F(ProcessReaderTest, WrongPinsUntilNoAttemptIsLeftEndBlocked) {
  KeyInReader("1234");
  reader->SetCachedPin("1111");
  pinsToGive = {"2222", "3333", "4444"};
  EXPECT_FALSE(owner.ProcessReader(0));
  EXPECT_EQ(Notified(), (Events{"askPIN R 1 2", "askPIN R 2 1", "onKeyError R The Key is blocked!"}));
  EXPECT_EQ(reader->state, ReaderState::Blocked);
  EXPECT_EQ(pinsToGive, (std::vector<std::string>{"4444"})) << "no PIN is asked for a blocked Key";
}

TEST_F(ProcessReaderTest, AnotherKeyInTheSameReaderDropsTheCachedPin) {
  KeyInReader("1234");
  reader->SetCachedPin("1234");
  ASSERT_TRUE(owner.ProcessReader(0));
  CreateKey("other", "1234");
  Eject("R");
  Insert("other", "R");  // swapped between two looks
  EXPECT_FALSE(owner.ProcessReader(0));
  EXPECT_EQ(Notified(), (Events{"onPinVerified R 1234", "onKeyReady R", "askPIN R 0 3"}));
  EXPECT_EQ(reader->state, ReaderState::PinRequired);
}

TEST_F(ProcessReaderTest, CardInformationIsKeptWithinItsFields) {
  AddReader("R");
  tv::keysim::KeyState key = CreateKey("k");
  key.label = std::string(32, 'L');  // the library gives it without terminator
  key.applications[kStoreApplication] = {5, 6, {}};
  key.applications[0] = {7, 8, {}};
  key.applications[227] = {9, 0, {}};
  SaveKeyState("k", key);
  Insert("k", "R");
  ASSERT_TRUE(owner.Initialize(kStoreApplication));
  owner.ProcessReader(0);
  const auto& card = owner.FindReader("R")->card;
  EXPECT_EQ(std::string(card.label), std::string(32, 'L'));
  EXPECT_EQ(memcmp(card.cardId, key.cardId.data(), 8), 0);
  EXPECT_EQ(card.own.value1, 5u);
  EXPECT_EQ(card.own.value2, 6u);
  EXPECT_EQ(card.zero.value1, 7u);
  EXPECT_EQ(card.zero.value2, 8u);
  EXPECT_EQ(card.extra.value1, 9u);
  EXPECT_TRUE(card.extraValue2Zero);
}

TEST_F(ProcessReaderTest, ProviderKeepsNoCardInformation) {
  AddReader("R");
  tv::keysim::KeyState key = CreateKey("k");
  key.label = "Alice";
  SaveKeyState("k", key);
  Insert("k", "R");
  RecordingOwner provider(kProviderSmartKey);
  ASSERT_TRUE(provider.Initialize(kCspApplication));
  provider.ProcessReader(0);
  EXPECT_STREQ(provider.FindReader("R")->card.label, "");
  EXPECT_EQ(provider.FindReader("R")->state, ReaderState::Ready);
}

}  // namespace
}  // namespace tvtest
