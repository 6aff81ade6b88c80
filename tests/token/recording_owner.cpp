#include "tests/token/recording_owner.h"

#include <algorithm>

namespace tvtest {

std::vector<std::string> RecordingOwner::Events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

int RecordingOwner::Count(const std::string& event) const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::count(events_.begin(), events_.end(), event));
}

bool RecordingOwner::WaitFor(const std::string& event, int times) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::seconds(30), [&] {
    return std::count(events_.begin(), events_.end(), event) >= times;
  });
}

void RecordingOwner::Record(const std::string& event) {
  {
    std::lock_guard lock(mutex_);
    events_.push_back(event);
  }
  changed_.notify_all();
  if (whileNotified) whileNotified(*this, event);
}

void RecordingOwner::onPinVerified(const char* readerName, int, const char* pin) {
  Record(std::string("onPinVerified ") + readerName + " " + pin);
}

void RecordingOwner::onKeyReady(const char* readerName) { Record(std::string("onKeyReady ") + readerName); }

void RecordingOwner::onKeyRemoved(const char* readerName) { Record(std::string("onKeyRemoved ") + readerName); }

bool RecordingOwner::askPIN(const char* readerName, int failedPinCount, int attemptsLeft) {
  Record("askPIN " + std::string(readerName) + " " + std::to_string(failedPinCount) + " " +
         std::to_string(attemptsLeft));
  return answerPin && answerPin(*this, readerName, failedPinCount, attemptsLeft);
}

void RecordingOwner::onKeyError(const char* readerName, const char* statusText) {
  Record(std::string("onKeyError ") + readerName + " " + statusText);
}

void RecordingOwner::onNoKey() { Record("onNoKey"); }

void RecordingOwner::onReaderChanged(const char* readerName, bool added) {
  Record(std::string("onReaderChanged ") + readerName + (added ? " 1" : " 0"));
}

}  // namespace tvtest
