// CSmartKey: the reader manager of the token layer. It binds the token
// library, keeps one record per Key reader, and (in the store provider) runs
// a monitor thread that polls every reader, verifies a remembered PIN when a
// Key is inserted and tells its owner through virtual notifications.
//
// The owner holds one object of its most derived class for the life of the
// module. Initialize, StartMonitoring, StopMonitoring and Finalize are called
// by the owner outside DllMain: they load a library and start or wait for a
// thread.
//
// Threads: the reader list is changed only by the thread that runs
// OpenAllReaders (the monitor, or an owner while the monitor is paused or not
// running). A pause or an end of the monitor is asked for through atomic
// flags that the monitor polls between readers.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

#include "token/reader_record.h"
#include "token/session_block.h"
#include "token/token_library.h"

namespace tv::token {

// What differs between the provider's and the store provider's reader
// manager.
struct SmartKeyOptions {
  bool monitor = false;          // StartMonitoring may run the monitor thread
  bool cardInformation = false;  // card ID, label and application values kept per reader
  const char* tokenLibrary = kTokenLibraryName;
  // Who shares the Key session's block: the provider's is per user.
  SessionBlockSharing sessionSharing = SessionBlockSharing::PerUser;
};

inline constexpr SmartKeyOptions kProviderSmartKey{.monitor = false, .cardInformation = false};
inline constexpr SmartKeyOptions kStoreSmartKey{
    .monitor = true, .cardInformation = true, .sessionSharing = SessionBlockSharing::PerSession};

class CSmartKey {
 public:
  explicit CSmartKey(const SmartKeyOptions& options);
  virtual ~CSmartKey();
  CSmartKey(const CSmartKey&) = delete;
  CSmartKey& operator=(const CSmartKey&) = delete;

  // Binds the token library and builds the reader list. Fails with 1247
  // (ERROR_ALREADY_INITIALIZED) on a second call, keeping the first binding,
  // and with the loader's error code when the library cannot be bound.
  virtual bool Initialize(int applicationId);
  // Ends the monitor, closes every reader and frees the library; the object
  // may then be initialised again.
  void Finalize();

  bool IsInitialized() const { return initialized_; }
  int ApplicationId() const { return applicationId_; }
  // The bound token library (all null while unbound).
  const TokenLibrary& Library() const { return library_; }
  // False when another reader manager of this process was initialised first.
  bool IsFirstInstance() const { return firstInstance_; }

  // Rebuilds the reader list from the token library: new readers are added
  // (onReaderChanged (name, true)); a reader no longer reported is closed and
  // dropped, with onKeyRemoved and onReaderChanged (name, false) unless the
  // last status found in it was "no Key".
  void OpenAllReaders();
  // Closes every reader and empties the list.
  void CloseAllReaders();
  // With a name: the reader of that name (its index stored in the record),
  // else null. With null: the first reader whose state is not Waiting.
  ReaderRecord* FindReader(const char* name);
  // The name of reader i, or null when unbound or i is past the list.
  const char* ReaderNameAt(std::size_t i) const;
  std::size_t ReaderCount() const { return readers_.size(); }
  ReaderRecord* ReaderAt(std::size_t i) { return i < readers_.size() ? readers_[i].get() : nullptr; }

  // Whether a monitor thread runs (started and not yet ended).
  bool MonitorRunning() const;
  // Starts the monitor thread (only with the monitor option, when
  // initialised and no monitor runs).
  bool StartMonitoring();
  // Ends the monitor thread and sets every reader back to Waiting, its
  // cached PIN forgotten and its card session ended.
  void StopMonitoring();
  // Pauses the monitor between two readers and returns true once it is
  // parked. False at once when no monitor runs, when it is already paused or
  // inside a notification, or when it ends while being asked.
  bool AskToStopMonitorThread();
  // Lets a paused monitor go on (only after AskToStopMonitorThread returned true).
  void ResumeMonitorThread();
  // Asks the monitor to end and waits until it has; from inside a
  // notification on the monitor thread it returns at once and the thread
  // ends when the notification returns. False when no monitor is known.
  bool AskToTerminateMonitorThread();

  // One look at reader `index`: InitCard, and the state, status text and
  // notifications that follow from its status. True when the Key was found
  // ready or faulty.
  bool ProcessReader(std::size_t index);

 protected:
  // Notifications, empty here; owners override them. From the monitor
  // thread they run while the monitor counts as paused, so an owner thread
  // asking for a pause meanwhile is refused rather than kept waiting.
  virtual void onPinVerified(const char* readerName, int reader, const char* pin);
  virtual void onKeyReady(const char* readerName);
  virtual void onKeyRemoved(const char* readerName);
  // True when the owner has put a new PIN into the reader's cached PIN
  // (FindReader (readerName)->SetCachedPin) to be tried at once.
  virtual bool askPIN(const char* readerName, int failedPinCount, int attemptsLeft);
  virtual void onKeyError(const char* readerName, const char* statusText);
  // The owner's work on an opened Key (used by the Key session on top).
  virtual bool processKey(int reader, void* context);
  virtual void onNoKey();
  virtual void onReaderChanged(const char* readerName, bool added);

  // Refreshes the card information of `r` from the Key in it (card ID,
  // application values, label); another card ID drops the cached PIN.
  void RefreshCardInformation(ReaderRecord& r);
  // Sets the state and its status text.
  static void SetState(ReaderRecord& r, ReaderState state, UINT textId);

 private:
  static DWORD WINAPI MonitorThreadEntry(void* self);
  DWORD MonitorThreadProc();
  // Parks the monitor while a pause is asked for; false when it is to end.
  bool GoOn();
  DWORD EndMonitorThread();
  bool OnMonitorThread() const;
  bool AnyReaderHoldsKey() const;
  void KeyRemoved(ReaderRecord& r);
  // Runs a notification; on the monitor thread the pause flag is held while
  // it runs and given back as it was.
  template <typename Call>
  auto Notify(Call&& call);
  void RetireMonitorThread();
  void WaitForRetiredMonitorThread();
  void DropReader(std::size_t i);

  const SmartKeyOptions options_;
  int applicationId_ = 0;
  bool initialized_ = false;

  // The monitor protocol. stopSpinLock_: 1 while a pause is asked for (or a
  // notification runs, or no monitor runs); stopAcknowledged_: the monitor is
  // parked; terminateRequested_: the monitor is to end; threadExited_: it has.
  std::atomic<int> stopSpinLock_{1};
  std::atomic<int> stopAcknowledged_{0};
  std::atomic<int> terminateRequested_{0};
  std::atomic<int> threadExited_{0};

  std::vector<std::unique_ptr<ReaderRecord>> readers_;
  std::atomic<HANDLE> thread_{nullptr};  // read by owner threads and the monitor
  HANDLE retiredThread_ = nullptr;  // a monitor asked to end from its own thread
  std::atomic<DWORD> threadId_{0};
  HANDLE semaphore_ = nullptr;
  bool firstInstance_ = true;
  HMODULE module_ = nullptr;
  TokenLibrary library_;
  bool noKeyNoticeGiven_ = false;
};

template <typename Call>
auto CSmartKey::Notify(Call&& call) {
  if (!OnMonitorThread()) return call();
  const int held = stopSpinLock_.exchange(1);
  struct GiveBack {
    std::atomic<int>& flag;
    int value;
    ~GiveBack() { flag.store(value); }
  } giveBack{stopSpinLock_, held};
  return call();
}

}  // namespace tv::token
