// Several processes on one simulator directory: a change made in one is seen
// in another, concurrent writers leave a consistent Key, and a writer or lock
// holder killed at any moment leaves the previous state usable.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "standins/tvkey32/store/cross_process_lock.h"
#include "standins/tvkey32/store/simulator_files.h"
#include "tests/standins/simulator_fixture.h"

namespace tvtest {
namespace {

using namespace tv::keysim;
using namespace std::chrono_literals;

// keysim_worker.exe (beside the test program) with its arguments.
class Worker : public ChildProcess {
 public:
  explicit Worker(const std::string& arguments)
      : ChildProcess("\"" + ProgramDirectory() + "\\keysim_worker.exe\" " + arguments) {}
};

int RunWorker(const std::string& arguments) { return Worker(arguments).Wait(); }

class ProcessTest : public SimulatorTest {
 protected:
  std::string Data(int reader) {
    DWORD length = 0;
    EXPECT_TRUE(api.ReadData(reader, 0, nullptr, &length));
    std::string data(length, '\0');
    if (length > 0) {
      EXPECT_TRUE(api.ReadData(reader, 0, data.data(), &length));
    }
    return data;
  }
  // The data area of application 221 as stored, or empty when unreadable.
  std::string StoredData() {
    const Loaded<KeyState> key = LoadKey(NamedKeyPlace(Dir(), "k"));
    if (!key.Ok()) return {};
    const auto it = key.value.applications.find(221);
    return it == key.value.applications.end() ? std::string() : std::string(AsText(it->second.data));
  }
};

TEST_F(ProcessTest, KeyChangedInOneProcessIsSeenByAnother) {
  const int reader = ReaderWithKey("1234");
  ASSERT_EQ(RunWorker("write 48656C6C6F"), 0);
  ASSERT_TRUE(api.VerifyPIN(reader, "1234"));
  EXPECT_EQ(Data(reader), "Hello");
  DWORD length = 5;
  ASSERT_TRUE(api.WriteData(reader, 0, "World", &length));
  EXPECT_EQ(RunWorker("expect 576F726C64"), 0);
  EXPECT_EQ(RunWorker("expect 48656C6C6F"), 3);
}

TEST_F(ProcessTest, ConcurrentWritersLeaveAConsistentKey) {
  ReaderWithKey("1234");
  constexpr int kWriters = 4;
  constexpr int kWrites = 40;
  std::vector<std::unique_ptr<Worker>> workers;
  for (int slot = 0; slot < kWriters; ++slot) {
    workers.push_back(std::make_unique<Worker>("hammer " + std::to_string(slot) + " " + std::to_string(kWrites)));
    ASSERT_TRUE(workers.back()->Started());
  }
  for (auto& worker : workers) EXPECT_EQ(worker->Wait(), 0);
  const std::string data = StoredData();
  ASSERT_EQ(data.size(), static_cast<std::size_t>(4 * kWriters));
  for (int slot = 0; slot < kWriters; ++slot) {
    int count = 0;
    memcpy(&count, data.data() + 4 * slot, 4);
    EXPECT_EQ(count, kWrites) << "slot " << slot << ": a write was lost";
  }
}

// Large writes, so that many kills land while a new file is being written
// (measured: about half of the kills leave a side file behind).
TEST_F(ProcessTest, KilledWriterLeavesAWholeState) {
  constexpr std::size_t kSize = 256 * 1024;
  AddReader("R");
  CreateKey("k", "1234", 3, kMaxCapacity);
  Insert("k", "R");
  for (int round = 0; round < 6; ++round) {
    Worker churn("churn " + std::to_string(kSize));
    ASSERT_TRUE(churn.Started());
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (StoredData().size() != kSize && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(20ms);
    std::this_thread::sleep_for(std::chrono::milliseconds(100 + 37 * round));
    churn.Kill();
    const std::string data = StoredData();
    ASSERT_EQ(data.size(), kSize) << "round " << round;
    EXPECT_EQ(std::count(data.begin(), data.end(), data[0]), static_cast<std::ptrdiff_t>(kSize))
        << "round " << round << ": the Key holds parts of two writes";
  }
  const int reader = api.InitReader("R");
  EXPECT_EQ(api.InitCard(reader, kCspApplication), 3);
}

TEST_F(ProcessTest, LockOfAKilledHolderIsTakenOver) {
  const int reader = ReaderWithKey("1234");
  const std::string eventName = UniqueName("Local\\keysim-test-");
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
  Worker holder("hold-lock " + eventName);
  ASSERT_TRUE(holder.Started());
  ASSERT_EQ(WaitForSingleObject(ready, 20000), WAIT_OBJECT_0);
  {
    CrossProcessLock busy(Dir(), 100);
    EXPECT_EQ(busy.Error(), static_cast<DWORD>(ERROR_TIMEOUT)) << "the worker holds the lock";
  }
  holder.Kill();
  CloseHandle(ready);
  EXPECT_TRUE(api.VerifyPIN(reader, "1234"));
  DWORD length = 4;
  EXPECT_TRUE(api.WriteData(reader, 0, "done", &length));
}

}  // namespace
}  // namespace tvtest
