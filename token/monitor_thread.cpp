// The monitor thread of CSmartKey and the protocol by which owners pause,
// resume and end it.
#include "common/trace_log.h"
#include "token/smart_key.h"
#include "token/token_strings.h"

namespace tv::token {
namespace {

constexpr DWORD kPassPause = 250;        // ms between two passes over the readers
constexpr DWORD kNoReaderPause = 500;    // ms more when there is no reader
constexpr DWORD kParkedStep = 10;        // ms between two looks of a parked monitor
constexpr DWORD kRequesterStep = 100;    // ms between two looks of a requester

constexpr const char* kMonitorLabel = "cm - MonitorThreadProc:";
constexpr const char* kTerminateLabel = "cm - AskToTerminateMonitorThread:";
constexpr const char* kStopLabel = "AskToStopMonitorThread:";

// Waits one requester step; true when the thread has ended meanwhile.
bool ThreadEndsWithin(HANDLE thread, DWORD ms) { return WaitForSingleObject(thread, ms) == WAIT_OBJECT_0; }

}  // namespace

bool CSmartKey::MonitorRunning() const { return thread_ && WaitForSingleObject(thread_, 0) == WAIT_TIMEOUT; }

bool CSmartKey::StartMonitoring() {
  if (!options_.monitor || !initialized_ || thread_) return false;
  WaitForRetiredMonitorThread();
  stopSpinLock_ = 0;
  terminateRequested_ = 0;
  threadExited_ = 0;
  noKeyNoticeGiven_ = false;
  // Started suspended so that the thread id is known before the thread asks.
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, MonitorThreadEntry, this, CREATE_SUSPENDED, &id);
  if (!thread) {
    stopSpinLock_ = 1;
    return false;
  }
  thread_ = thread;
  threadId_ = id;
  ResumeThread(thread);
  return true;
}

void CSmartKey::StopMonitoring() {
  if (!initialized_ || !thread_) return;
  AskToTerminateMonitorThread();
  RetireMonitorThread();
  WriteLog(LogMonitor, kMonitorLabel, "StopMonitoring, CloseAll Readers");
  for (auto& r : readers_) {
    SetState(*r, ReaderState::Waiting, kTextWaiting);
    r->failedPinCount = 0;
    r->ClearCachedPin();
    library_.CloseCard(r->handle, 0);
  }
}

// A monitor that was asked to end from its own thread may still be finishing
// its pass; its handle is kept until the next start has waited for it.
void CSmartKey::RetireMonitorThread() {
  if (!thread_) return;
  if (OnMonitorThread()) {
    if (retiredThread_) CloseHandle(retiredThread_);
    retiredThread_ = thread_;
  } else {
    CloseHandle(thread_);
  }
  thread_ = nullptr;
}

void CSmartKey::WaitForRetiredMonitorThread() {
  if (!retiredThread_) return;
  WaitForSingleObject(retiredThread_, INFINITE);
  CloseHandle(retiredThread_);
  retiredThread_ = nullptr;
}

bool CSmartKey::AskToStopMonitorThread() {
  int running = 0;
  if (!thread_ || !stopSpinLock_.compare_exchange_strong(running, 1)) {
    WriteLog(LogMonitor, kStopLabel, "return false %d %X[%X]", stopSpinLock_.load(),
             static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(thread_.load())), static_cast<unsigned>(GetLastError()));
    return false;
  }
  stopAcknowledged_ = 0;
  while (stopAcknowledged_ != 1) {
    // A monitor that ended by itself never acknowledges.
    if (ThreadEndsWithin(thread_, kRequesterStep)) {
      WriteLog(LogMonitor, kStopLabel, "monitor thread has ended");
      return false;
    }
  }
  return true;
}

void CSmartKey::ResumeMonitorThread() {
  stopAcknowledged_ = 0;
  stopSpinLock_ = 0;
}

bool CSmartKey::AskToTerminateMonitorThread() {
  if (!thread_) return false;
  DWORD code = 0;
  if (!GetExitCodeThread(thread_, &code)) {
    WriteLog(LogError, kTerminateLabel, "error GetExitCodeThread");
  } else if (code != STILL_ACTIVE) {
    WriteLog(LogMonitor, kTerminateLabel, "thread is already closed");
    return true;
  }
  WriteLog(LogMonitor, kTerminateLabel, "thread is active");
  threadExited_ = 0;
  terminateRequested_ = 1;
  if (OnMonitorThread()) return true;  // it ends when it is back in its loop
  while (threadExited_ != 1) {
    WriteLog(LogMonitor, kTerminateLabel, "inside while StopSpinLockOK");
    if (ThreadEndsWithin(thread_, kRequesterStep)) break;
  }
  return true;
}

bool CSmartKey::OnMonitorThread() const { return threadId_ != 0 && threadId_ == GetCurrentThreadId(); }

DWORD WINAPI CSmartKey::MonitorThreadEntry(void* self) { return static_cast<CSmartKey*>(self)->MonitorThreadProc(); }

DWORD CSmartKey::MonitorThreadProc() {
  WriteLog(LogMonitor, kMonitorLabel, "Monitor created.");
  for (;;) {
    if (library_.AnyReadersChanges(0)) {
      WriteLog(LogMonitor, kMonitorLabel, "AnyReadersChanges: TRUE, updating ... (single?:%d)", firstInstance_ ? 1 : 0);
      // Only the first reader manager of the process follows reader changes.
      if (!firstInstance_) return EndMonitorThread();
      OpenAllReaders();
    }
    if (readers_.empty()) {
      if (!noKeyNoticeGiven_) {
        noKeyNoticeGiven_ = true;
        Notify([&] { onNoKey(); });
      }
      Sleep(kNoReaderPause);
    }
    for (std::size_t i = 0; i < readers_.size(); ++i) {
      WriteLog(LogMonitor, kMonitorLabel, "entering ProcessReader");
      ProcessReader(i);
      WriteLog(LogMonitor, kMonitorLabel, "exiting ProcessReader");
      if (!GoOn()) return EndMonitorThread();
    }
    if (!GoOn()) return EndMonitorThread();
    if (!readers_.empty() && !noKeyNoticeGiven_) {
      if (!AnyReaderHoldsKey()) Notify([&] { onNoKey(); });
      noKeyNoticeGiven_ = true;
    }
    Sleep(kPassPause);
  }
}

bool CSmartKey::GoOn() {
  while (stopSpinLock_ == 1 && !terminateRequested_) {
    WriteLog(LogMonitor, kMonitorLabel, "inside while StopSpinLock ...");
    stopAcknowledged_ = 1;
    Sleep(kParkedStep);
  }
  stopAcknowledged_ = 0;
  WriteLog(LogMonitor, kMonitorLabel, "inside while(1) ...");
  return !terminateRequested_;
}

DWORD CSmartKey::EndMonitorThread() {
  WriteLog(LogMonitor, kMonitorLabel, "Monitor ends.");
  threadId_ = 0;
  threadExited_ = 1;
  return 0;
}

bool CSmartKey::AnyReaderHoldsKey() const {
  for (const auto& r : readers_)
    if (r->HoldsKey()) return true;
  return false;
}

}  // namespace tv::token
