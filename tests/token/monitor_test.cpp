// The monitor thread against the simulator, with an owner that records its
// notifications. Every wait is for a notification or for passes of the
// monitor (counted by the simulator as it answers AnyReadersChanges), with a
// generous bound that is itself an assertion.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>

#include "standins/tvkey32/store/simulator_files.h"
#include "tests/standins/simulator_fixture.h"
#include "tests/token/recording_owner.h"

namespace tvtest {
namespace {

using tv::token::kProviderSmartKey;
using tv::token::kStoreSmartKey;
using tv::token::ReaderState;
using Clock = std::chrono::steady_clock;

// Ends the owner's monitor when it goes out of scope: declared after what
// the owner's notifications use, so that they never outlive it.
struct EndMonitorOnExit {
  RecordingOwner& owner;
  ~EndMonitorOnExit() { owner.Finalize(); }
};

class MonitorTest : public SimulatorTest {
 protected:
  void TearDown() override {
    owner.Finalize();
    SimulatorTest::TearDown();
  }

  // Returns once the monitor has made at least `passes` more passes: each
  // pass asks AnyReadersChanges once, and an injected fault on it (which
  // answers "no change", as usual) is used up by each call.
  void WaitForPasses(int passes) {
    ASSERT_TRUE(api.KeySimSetFault("AnyReadersChanges", static_cast<DWORD>(passes), ERROR_BUSY));
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (PassFaultPending()) {
      ASSERT_LT(Clock::now(), deadline) << "the monitor made no " << passes << " passes";
      Sleep(20);
    }
  }

  // Key "k" (PIN 1234) in reader "R", the owner initialised and its cached
  // PIN for "R" given before the monitor starts.
  void KeyInReaderWithCachedPin() {
    AddReader("R");
    CreateKey("k", "1234");
    Insert("k", "R");
    ASSERT_TRUE(owner.Initialize(kStoreApplication));
    owner.FindReader("R")->SetCachedPin("1234");
  }

  void ExpectMonitorEnds() {
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (owner.MonitorRunning()) {
      ASSERT_LT(Clock::now(), deadline) << "the monitor did not end";
      Sleep(20);
    }
  }

  RecordingOwner owner{kStoreSmartKey};

 private:
  bool PassFaultPending() {
    if (!tv::keysim::HasFaultTable(Dir())) return false;
    const auto table = tv::keysim::LoadFaultTable(Dir());
    if (!table.Ok()) return false;
    for (const auto& fault : table.value.operations)
      if (fault.operation == "AnyReadersChanges") return true;
    return false;
  }
};

TEST_F(MonitorTest, NoKeyIsNoticedOncePerRun) {
  ASSERT_TRUE(owner.Initialize(kStoreApplication));
  ASSERT_TRUE(owner.StartMonitoring());
  ASSERT_TRUE(owner.WaitFor("onNoKey"));
  WaitForPasses(3);
  EXPECT_EQ(owner.Count("onNoKey"), 1);

  owner.StopMonitoring();
  ASSERT_TRUE(owner.StartMonitoring());
  ASSERT_TRUE(owner.WaitFor("onNoKey", 2));
  WaitForPasses(3);
  EXPECT_EQ(owner.Count("onNoKey"), 2);
}

TEST_F(MonitorTest, ReadersWithoutKeyAreNoticedOnceAsNoKey) {
  AddReader("R");
  ASSERT_TRUE(owner.Initialize(kStoreApplication));
  ASSERT_TRUE(owner.StartMonitoring());
  ASSERT_TRUE(owner.WaitFor("onNoKey"));
  WaitForPasses(3);
  EXPECT_EQ(owner.Count("onNoKey"), 1);
}

TEST_F(MonitorTest, InsertedKeyBecomesReadyAndItsRemovalIsReportedOnce) {
  AddReader("R");
  CreateKey("k", "1234");
  ASSERT_TRUE(owner.Initialize(kStoreApplication));
  owner.answerPin = [](RecordingOwner& o, const char* reader, int, int) {
    o.FindReader(reader)->SetCachedPin("1234");
    return true;
  };
  ASSERT_TRUE(owner.StartMonitoring());
  ASSERT_TRUE(owner.WaitFor("onNoKey"));

  Insert("k", "R");
  ASSERT_TRUE(owner.WaitFor("onKeyReady R"));
  EXPECT_EQ(owner.Count("onPinVerified R 1234"), 1);

  Eject("R");
  ASSERT_TRUE(owner.WaitFor("onKeyRemoved R"));
  WaitForPasses(3);
  EXPECT_EQ(owner.Count("onKeyRemoved R"), 1);
  EXPECT_EQ(owner.Count("onNoKey"), 1);
}

TEST_F(MonitorTest, ReadersAddedAndRemovedAreFollowed) {
  ASSERT_TRUE(owner.Initialize(kStoreApplication));
  ASSERT_TRUE(owner.StartMonitoring());
  ASSERT_TRUE(owner.WaitFor("onNoKey"));
  AddReader("R");
  ASSERT_TRUE(owner.WaitFor("onReaderChanged R 1"));
  WaitForPasses(1);  // R has been looked at: no Key in it
  RemoveReader("R");
  AddReader("S");
  ASSERT_TRUE(owner.WaitFor("onReaderChanged S 1"));
  EXPECT_EQ(owner.Count("onReaderChanged R 0"), 0) << "a reader last seen without Key goes silently";
  EXPECT_EQ(owner.Count("onKeyRemoved R"), 0);
}

TEST_F(MonitorTest, TerminateFromInsideANotificationReturnsAtOnceAndTheThreadEnds) {
  KeyInReaderWithCachedPin();
  std::promise<bool> answered;
  EndMonitorOnExit endFirst{owner};
  owner.whileNotified = [&](RecordingOwner& o, const std::string& event) {
    if (event == "onKeyReady R") answered.set_value(o.AskToTerminateMonitorThread());
  };
  ASSERT_TRUE(owner.StartMonitoring());
  auto result = answered.get_future();
  ASSERT_EQ(result.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_TRUE(result.get());
  ExpectMonitorEnds();
  EXPECT_FALSE(owner.AskToStopMonitorThread()) << "an ended monitor cannot acknowledge a pause";
  EXPECT_EQ(owner.Count("onKeyReady R"), 1);
}

TEST_F(MonitorTest, PauseIsRefusedInsideANotification) {
  KeyInReaderWithCachedPin();
  std::promise<bool> answered;
  EndMonitorOnExit endFirst{owner};
  owner.whileNotified = [&](RecordingOwner& o, const std::string& event) {
    if (event == "onKeyReady R") answered.set_value(o.AskToStopMonitorThread());
  };
  ASSERT_TRUE(owner.StartMonitoring());
  auto result = answered.get_future();
  ASSERT_EQ(result.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_FALSE(result.get());
}

TEST_F(MonitorTest, PausedMonitorLooksAtNoReaderUntilResumed) {
  KeyInReaderWithCachedPin();
  ASSERT_TRUE(owner.StartMonitoring());
  ASSERT_TRUE(owner.WaitFor("onKeyReady R"));
  WaitForPasses(1);  // the notification has returned: a pause is granted again

  ASSERT_TRUE(owner.AskToStopMonitorThread());
  EXPECT_FALSE(owner.AskToStopMonitorThread()) << "already paused";
  // While paused, the owner has the reader list and the Key to itself.
  Eject("R");
  EXPECT_EQ(owner.FindReader("R")->state, ReaderState::Ready);
  EXPECT_EQ(owner.Count("onKeyRemoved R"), 0);
  owner.ResumeMonitorThread();
  ASSERT_TRUE(owner.WaitFor("onKeyRemoved R"));
}

TEST_F(MonitorTest, PausedMonitorCanBeEnded) {
  KeyInReaderWithCachedPin();
  ASSERT_TRUE(owner.StartMonitoring());
  ASSERT_TRUE(owner.WaitFor("onKeyReady R"));
  WaitForPasses(1);
  ASSERT_TRUE(owner.AskToStopMonitorThread());
  owner.StopMonitoring();
  EXPECT_FALSE(owner.MonitorRunning());
  EXPECT_EQ(owner.FindReader("R")->state, ReaderState::Waiting);
}

TEST_F(MonitorTest, StopMonitoringSetsEveryReaderBackToWaiting) {
  KeyInReaderWithCachedPin();
  ASSERT_TRUE(owner.StartMonitoring());
  ASSERT_TRUE(owner.WaitFor("onKeyReady R"));
  owner.StopMonitoring();
  const tv::token::ReaderRecord* r = owner.FindReader("R");
  EXPECT_EQ(r->state, ReaderState::Waiting);
  EXPECT_STREQ(r->statusText, "Waiting for Key insertion . . .");
  EXPECT_FALSE(r->HasCachedPin());
  EXPECT_EQ(r->failedPinCount, 0);
  EXPECT_GE(api.InitCard(r->handle, kStoreApplication), 1) << "the Key's session was ended, not let go";
  EXPECT_FALSE(owner.AskToStopMonitorThread());
  EXPECT_FALSE(owner.AskToTerminateMonitorThread());
}

TEST_F(MonitorTest, StopMonitoringFromInsideANotificationEndsTheRun) {
  KeyInReaderWithCachedPin();
  std::promise<void> stopped;
  EndMonitorOnExit endFirst{owner};
  owner.whileNotified = [&](RecordingOwner& o, const std::string& event) {
    if (event != "onKeyRemoved R") return;
    o.StopMonitoring();
    stopped.set_value();
  };
  ASSERT_TRUE(owner.StartMonitoring());
  ASSERT_TRUE(owner.WaitFor("onKeyReady R"));
  Eject("R");
  ASSERT_EQ(stopped.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
  // The old thread may still be finishing its pass; the new run waits for it.
  Insert("k", "R");
  ASSERT_TRUE(owner.StartMonitoring());
  ASSERT_TRUE(owner.WaitFor("askPIN R 0 3"));
}

TEST_F(MonitorTest, MonitorOfASecondReaderManagerEndsWhenReadersChange) {
  RecordingOwner first(kStoreSmartKey);
  ASSERT_TRUE(first.Initialize(kStoreApplication));
  ASSERT_TRUE(owner.Initialize(kStoreApplication));
  ASSERT_FALSE(owner.IsFirstInstance());
  ASSERT_TRUE(owner.StartMonitoring());
  ASSERT_TRUE(owner.WaitFor("onNoKey"));
  AddReader("R");
  // An ended monitor cannot acknowledge a pause: asking must not wait.
  ExpectMonitorEnds();
  EXPECT_FALSE(owner.AskToStopMonitorThread());
  EXPECT_EQ(owner.Count("onReaderChanged R 1"), 0);
  EXPECT_TRUE(owner.AskToTerminateMonitorThread()) << "already ended";
}

TEST_F(MonitorTest, ProviderHasNoMonitor) {
  RecordingOwner provider(kProviderSmartKey);
  ASSERT_TRUE(provider.Initialize(kCspApplication));
  EXPECT_FALSE(provider.StartMonitoring());
  EXPECT_FALSE(provider.AskToStopMonitorThread());
}

}  // namespace
}  // namespace tvtest
