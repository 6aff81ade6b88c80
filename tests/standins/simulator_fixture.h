// A fresh simulator directory per test (TV_KEYSIM_DIR points at it, also for
// child processes), tvkey32.dll bound as the system binds it, and set-up of
// readers and Keys through the simulator's store, as keysim does it.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "standins/tvkey32/store/key_state.h"
#include "standins/tvkey32/tvkey32_api.h"
#include "tests/standins/tvkey32_binding.h"
#include "tests/support/isolation.h"

namespace tvtest {

inline constexpr int kCspApplication = 221;
inline constexpr int kStoreApplication = 226;

class SimulatorTest : public ::testing::Test {
 protected:
  // A directory of the test's own, or `shared` for tests whose process keeps
  // one Key session for its whole life: the session's reader handles stay
  // bound to the directory they were opened in.
  explicit SimulatorTest(const TempDir* shared = nullptr);

  void SetUp() override;
  void TearDown() override;

  const std::string& Dir() const { return dir_->Path(); }
  std::string File(const std::string& name) const { return dir_->File(name); }

  void AddReader(const std::string& name, int type = tvkey32::kReaderHardware);
  void RemoveReader(const std::string& name);
  // A formatted Key with the given PIN (empty: none) and attempts (0: no count).
  tv::keysim::KeyState CreateKey(const std::string& name, const std::string& pin = "",
                                 int attempts = tv::keysim::kDefaultAttempts,
                                 std::uint32_t capacity = tv::keysim::kDefaultCapacity);
  void SaveKeyState(const std::string& name, const tv::keysim::KeyState& key);
  void Insert(const std::string& key, const std::string& reader);
  void Eject(const std::string& reader);
  void EditKey(const std::string& name, const std::function<void(tv::keysim::KeyState&)>& edit);
  tv::keysim::KeyState LoadKeyState(const std::string& name);
  std::string KeyFile(const std::string& name) const;

  // A reader "R" holding Key "k" with this PIN: the reader handle after an
  // InitCard for `application` that found the Key.
  int ReaderWithKey(const std::string& pin = "", int application = kCspApplication);

  Tvkey32 api;

 private:
  std::unique_ptr<TempDir> owned_;
  const TempDir* dir_;
};

// Replaces a file's bytes (ReadFileText reads them).
void WriteBytes(const std::string& path, const std::string& bytes);

}  // namespace tvtest
