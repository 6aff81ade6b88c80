// CSmartKey_GUI: the Key session, the one door to a Key for the rest of the
// system. OpenCard finds the Key among the readers (asking the user to choose
// when several hold one), waits for a Key to be inserted, asks for the PIN
// with the attempts left, optionally lets the holder change the PIN or the
// biometric record, and hands back the reader handle of the opened Key. The
// session block remembers the last Key's card ID and PIN for the user's other
// calls and processes.
//
// The four dialogs (reader choice, waiting, PIN, new PIN) are resource
// templates of the module passed to OpenCard; their texts come from the
// string table. In a silent call no window is ever shown: where a question
// would be needed, OpenCard fails with NTE_SILENT_CONTEXT.
//
// OpenCard is serialised within the process: a second thread waits until the
// first call has ended, since a Key session owns the chosen reader and the
// dialogs' state until it returns.
#pragma once
#include <windows.h>

#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

#include "token/key_session_dialogs.h"
#include "token/reader_record.h"
#include "token/session_block.h"
#include "token/smart_key.h"

namespace tv::token {

// OpenCard flags.
enum OpenCardFlags : int {
  kOpenForWriting = 1,      // ask before using a Key with data, force a PIN, empty the data area
  kRememberCancel = 2,      // a cancel is remembered until the readers or Keys change
  kIgnoreSessionBlock = 4,  // no remembered Key or PIN is used
  kKeepSessionBlock = 8,    // the session block is not written
};

inline constexpr std::size_t kPinBufferSize = kMaxPinLength + 1;  // 64 characters
inline constexpr std::size_t kNewPinBufferSize = 9;               // 8 characters, or the 8-byte card ID

class CSmartKey_GUI : public CSmartKey {
 public:
  // `moduleName` names the module's trace log.
  CSmartKey_GUI(const SmartKeyOptions& options, const char* moduleName);
  ~CSmartKey_GUI() override;

  // Opens a Key: the reader handle of the opened Key, or -1 with the last
  // error set (ERROR_CANCELLED when the user declined, NTE_SILENT_CONTEXT
  // when a silent call would have to ask). `resources` holds the dialogs;
  // `line113` and `line114` are the information lines of every dialog.
  int OpenCard(HINSTANCE resources, HWND owner, const char* caption, int flags, const char* line113,
               const char* pin, const char* line114);

  // Forgets the remembered Key, PIN, cancel and counts.
  bool ClearSessionBlock();

  // Gives a Key back: the remembered PIN is wiped unless the holder chose to
  // remember it; then CloseCard (reader, flag).
  virtual int ReleaseCard(int reader, int flag);
  // Looks for a Key in the readers [first, end) of the snapshot: the InitCard
  // status of the Key found (its reader becomes the chosen one), 3 for a Key
  // without an attempt count, else the last status (-1 for an empty range).
  virtual int CheckReaders(int first, int end);
  // Fills `table` (kMaxReaders entries) with the snapshot indices of the
  // readers holding a Key; the remembered Key alone when it is present.
  virtual int EnumCards(int* table, int flags);

  // The store provider's use of a Key: pauses the monitor, opens a Key, runs
  // `operation` (or processKey when none) on it, marks the reader's record
  // ready with the PIN that opened it, gives the Key back and resumes the
  // monitor. The operation's result, with the last error of the failure.
  using KeyOperation = std::function<bool(void* context, int reader)>;
  bool RunWithKey(HINSTANCE resources, HWND owner, const char* caption, int flags, void* context,
                  const KeyOperation& operation = {});

  void SetSilent(bool silent) { silent_ = silent; }
  SessionBlock* Block() const { return block_; }
  // Whether the holder ticked "Remember PIN for current session" last.
  bool RemembersPin() const { return rememberPin_; }

 protected:
  // OpenCard's work, under sessionLock_; the PIN that opened the Key stays
  // in the PIN buffer until WipePins.
  int OpenCardKeepingPin(HINSTANCE resources, HWND owner, const char* caption, int flags, const char* line113,
                         const char* pin, const char* line114);
  void WipePins();
  // The reader handle at snapshot index i, or -1.
  int SnapshotReader(int i) const;
  int SnapshotCount() const { return static_cast<int>(snapshot_.size()); }
  int ChosenReader() const { return chosen_; }
  void SetChosenReader(int reader) { chosen_ = reader; }
  int SessionApplicationId() const { return applicationId_; }

  // Held by every Key session of the process: one at a time.
  std::recursive_mutex sessionLock_;
  bool silent_ = false;

 private:
  friend class SessionDialogs;
  enum class OverwriteAnswer { Yes, No, Cancel, Silent };

  // OpenCard's steps; each failure leaves the Key released and the last
  // error set.
  int KeyNotFound(const SessionDialogs::Call& call, int flags, int status);
  OverwriteAnswer AskOverwrite(const SessionDialogs::Call& call);
  const char* PinToTry(const char* pin, int flags, bool& fromBlock);
  int VerifyAndOpen(const SessionDialogs::Call& call, int flags, int index, int attempts, const char* pin);
  bool AskPinUntilRight(const SessionDialogs::Call& call, int flags, int attempts);
  bool CheckHolder(const SessionDialogs::Call& call, int flags);
  bool ChangePinIfAsked(const SessionDialogs::Call& call, int flags);
  bool ChangeRecordIfAsked(const SessionDialogs::Call& call, int flags);
  void RememberKey(int flags, int index);
  static int Fail(DWORD error);
  void MarkRememberedCancel(int flags);

  static bool IsZero(const BYTE* bytes, std::size_t length);
  bool CardIdMatchesBlock(int reader) const;
  bool BlockServes(int flags) const;
  int InitCardRetryingAbsent(int reader);
  void RefreshSnapshot();
  void RefreshReadersIfChanged();
  ReaderRecord* RecordOf(int reader);

  const SessionBlockSharing sharing_;
  SessionDialogs dialogs_{*this};
  SessionBlock* block_ = nullptr;
  bool changePinRequest_ = false;
  bool changeBirRequest_ = false;
  bool rememberPin_ = true;
  std::vector<int> snapshot_;  // reader handles, taken at the first OpenCard
  bool snapshotSet_ = false;
  DWORD lastError_ = 0;  // what a dialog leaves for OpenCard
  int applicationId_ = 0;
  char pin_[kPinBufferSize] = {};
  char newPin_[kNewPinBufferSize] = {};
  int chosen_ = -1;
};

}  // namespace tv::token
