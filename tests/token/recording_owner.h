// A reader-manager owner for tests: records every notification it receives
// as a line of text ("onKeyReady R", "askPIN R 1 2" ...), lets a test wait
// for one (bounded), and lets a test act inside a notification.
#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "token/smart_key.h"

namespace tvtest {

class RecordingOwner : public tv::token::CSmartKey {
 public:
  explicit RecordingOwner(const tv::token::SmartKeyOptions& options = tv::token::kStoreSmartKey)
      : CSmartKey(options) {}
  // The monitor ends before this object's notifications go away.
  ~RecordingOwner() override { Finalize(); }

  std::vector<std::string> Events() const;
  int Count(const std::string& event) const;
  // Waits until `event` has been recorded at least `times` times; false
  // after a generous bound.
  bool WaitFor(const std::string& event, int times = 1);

  // Answers askPIN (declines when unset); runs on the monitor thread.
  std::function<bool(RecordingOwner&, const char* reader, int failed, int attempts)> answerPin;
  // Runs after each notification is recorded, on the thread that sent it.
  std::function<void(RecordingOwner&, const std::string& event)> whileNotified;

 protected:
  void onPinVerified(const char* readerName, int reader, const char* pin) override;
  void onKeyReady(const char* readerName) override;
  void onKeyRemoved(const char* readerName) override;
  bool askPIN(const char* readerName, int failedPinCount, int attemptsLeft) override;
  void onKeyError(const char* readerName, const char* statusText) override;
  void onNoKey() override;
  void onReaderChanged(const char* readerName, bool added) override;

 private:
  void Record(const std::string& event);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> events_;
};

}  // namespace tvtest
