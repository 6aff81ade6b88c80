// The Key backend's operation table driven directly, in this process, over
// the simulator: one reader "R" holding a fresh Key "k" (PIN 1234) in every
// test. The provider keeps one Key session per process, so the tests of a
// program share one simulator directory and one reader.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "csp/storage/storage.h"
#include "tests/csp/context/provider_fixture.h"  // kCreateCaption
#include "tests/standins/simulator_fixture.h"
#include "tests/support/window_script.h"
#include "token/session_block.h"

namespace tvtest {

inline constexpr const char* kOpenCaption = "Open Cryptographic key";
inline constexpr const char* kKeyPin = "1234";
inline constexpr const char* kReader = "R";

using Bytes = std::vector<std::uint8_t>;

// One storage of the Key backend in this process, its container closed and the storage closed when it goes.
class KeyStorageSession {
 public:
  explicit KeyStorageSession(DWORD silent = 0, const char* pin = kKeyPin);
  ~KeyStorageSession();
  KeyStorageSession(const KeyStorageSession&) = delete;
  KeyStorageSession& operator=(const KeyStorageSession&) = delete;

  tv::csp::StorageRecord* Get() const { return record_; }
  const tv::csp::StorageOperations& Ops() const { return tv::csp::KeyStorage(); }

  // The record of a private slot; empty on failure, the last error set.
  Bytes Read(tv::csp::RecordSlot slot);
  bool Write(tv::csp::RecordSlot slot, Bytes record);

 private:
  tv::csp::StorageRecord* record_ = nullptr;
};

// What a call did while a script answered the windows titled `title`.
struct Answered {
  bool ok = false;
  DWORD error = 0;
  std::vector<WindowSnapshot> seen;
};

// Runs `call`, answering its windows with `steps`; expects exactly those
// windows (an empty script: no window at all).
Answered RunAnswering(const char* title, std::vector<WindowScript::Step> steps, const std::function<bool()>& call);

class KeyStorageTest : public SimulatorTest {
 protected:
  KeyStorageTest();
  void SetUp() override;
  void TearDown() override;

  // Clears the user's session block: no Key or PIN is remembered, no
  // cancel either. The test holds the block as the user's other processes
  // would, so that it outlives a provider module the platform unloads.
  void ForgetRememberedKey();
  // A fresh Key `name` (PIN 1234) in reader "R".
  void PutFreshKey(const std::string& name);
  // The provider's data area of Key `name`.
  Bytes KeyData(const std::string& name = "k");
  void SetKeyData(const Bytes& data, const std::string& name = "k");

  // Creates the container `name` on the Key in "R" with `record` in slot 1.
  void CreateWithPair(KeyStorageSession& storage, const char* name, const Bytes& record);

 private:
  tv::token::SessionBlock* block_ = nullptr;
};

// The block the Key holds for `record` in the container `name`, built here
// from the platform's MD5.
Bytes ExpectedBlock(const std::string& name, const Bytes& record);

}  // namespace tvtest
