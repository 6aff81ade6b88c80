#include "token/key_session.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "common/language.h"
#include "common/trace_log.h"
#include "token/biometric_check.h"
#include "token/bounded_text.h"
#include "token/key_session_dialogs.h"
#include "token/token_strings.h"

namespace tv::token {
namespace {

constexpr const char* kLabel = "CSmartKey_GUI:";
constexpr DWORD kSilentContext = static_cast<DWORD>(NTE_SILENT_CONTEXT);
constexpr DWORD kWrongPin = static_cast<DWORD>(SCARD_W_WRONG_CHV);
constexpr DWORD kPinBlocked = static_cast<DWORD>(SCARD_W_CHV_BLOCKED);

// A Key that keeps no attempt count counts as having 3 attempts.
constexpr int kAttemptsWithoutCount = 3;

bool IsFoundKey(int status) { return status >= 0 || status == tvkey32::kStatusNoAttemptCount; }

// Whether the owner window's title equals the caption: a dialog of this
// session is already open over it, so no second one is stacked on top.
bool OwnerTitledLike(HWND owner, const char* caption) {
  if (!owner) return false;
  char title[kCaptionKept + 2] = {};
  GetWindowTextA(owner, title, sizeof title);
  return std::strncmp(title, caption, kCaptionKept + 1) == 0;
}

// Two strings of the table joined by a line break.
std::string JoinedTexts(UINT first, UINT second) {
  std::string text = LoadStringText(first, nullptr, -1);
  text += '\n';
  text += LoadStringText(second, nullptr, -1);
  return text;
}

}  // namespace

CSmartKey_GUI::CSmartKey_GUI(const SmartKeyOptions& options, const char* moduleName)
    : CSmartKey(options), sharing_(options.sessionSharing) {
  OpenLog(moduleName, nullptr);
  block_ = static_cast<SessionBlock*>(ShareMemAlloc(sizeof(SessionBlock), kSessionBlockName, sharing_));
}

CSmartKey_GUI::~CSmartKey_GUI() {
  WipePins();
  if (block_) ShareMemFree(block_);
  WriteLog(LogTrace, kLabel, "~CSmartKey_GUI. 1. %08X.", static_cast<unsigned>(GetLastError()));
}

int CSmartKey_GUI::OpenCard(HINSTANCE resources, HWND owner, const char* caption, int flags, const char* line113,
                            const char* pin, const char* line114) {
  const std::lock_guard<std::recursive_mutex> hold(sessionLock_);
  const int reader = OpenCardKeepingPin(resources, owner, caption, flags, line113, pin, line114);
  const DWORD error = GetLastError();
  WipePins();
  SetLastError(error);
  return reader;
}

int CSmartKey_GUI::OpenCardKeepingPin(HINSTANCE resources, HWND owner, const char* caption, int flags,
                                      const char* line113, const char* pin, const char* line114) {
  SessionDialogs::Call call{};
  call.resources = resources;
  CopyBounded(call.caption, caption, kCaptionKept);
  call.line113 = line113 ? line113 : "";
  call.line114 = line114 ? line114 : "";
  call.prompt = kTextChooseKey;
  WriteLog(LogTrace, kLabel, "CSmartKey_GUI::OpenCard. 1. %p. %p. %s. %d. %s. %d. %s.", static_cast<void*>(resources),
           static_cast<void*>(owner), call.caption, flags, call.line113, pin ? 1 : 0, call.line114);
  changePinRequest_ = false;
  changeBirRequest_ = false;
  chosen_ = -1;  // a reader found by an earlier call may still be in its caller's use
  if (!snapshotSet_) RefreshSnapshot();
  applicationId_ = ApplicationId();
  if (OwnerTitledLike(owner, call.caption)) return -1;
  call.owner = owner == GetDesktopWindow() ? nullptr : owner;

  int attempts = 0;
  int index = 0;
  for (;;) {
    index = dialogs_.ReaderDialog(call, flags);
    if (index < 0) {
      WriteLog(LogTrace, kLabel, "CSmartKey_GUI::OpenCard. 3.");
      MarkRememberedCancel(flags);
      const DWORD error = lastError_;
      lastError_ = 0;
      return Fail(error);
    }
    const int status = dialogs_.WaitDialog(call, index);
    if (status < 0) return KeyNotFound(call, flags, status);
    attempts = status;
    if (block_ && !(flags & kKeepSessionBlock) && block_->keyCount == 0) block_->keyCount = 1;

    const bool holdsData = Library().IsDataExist(chosen_) != FALSE;
    if (!(flags & kOpenForWriting)) {
      if (holdsData) break;
      lastError_ = 0;
      SetLastError(0);
      return chosen_;  // nothing on the Key to protect: no PIN asked
    }
    if (!holdsData) break;
    const OverwriteAnswer answer = AskOverwrite(call);
    if (answer == OverwriteAnswer::Yes) break;
    if (answer == OverwriteAnswer::No) {
      ReleaseCard(chosen_, 1);  // let go of this Key and choose again
      continue;
    }
    ReleaseCard(chosen_, 0);
    if (answer == OverwriteAnswer::Silent) return Fail(kSilentContext);
    if ((flags & kRememberCancel) && !(flags & (kIgnoreSessionBlock | kKeepSessionBlock)) && block_)
      block_->cancelMarker = 1;
    return Fail(ERROR_CANCELLED);
  }
  return VerifyAndOpen(call, flags, index, attempts, pin);
}

int CSmartKey_GUI::KeyNotFound(const SessionDialogs::Call& call, int flags, int status) {
  WriteLog(LogTrace, kLabel, "CSmartKey_GUI::OpenCard. 4. %d.", status);
  ReleaseCard(chosen_, 0);
  MarkRememberedCancel(flags);
  if (status == tvkey32::kStatusFinallyBlocked) {
    if (silent_) return Fail(kSilentContext);
    lastError_ = ERROR_CANCELLED;
    MessageBoxA(call.owner, LoadStringText(kTextFinallyBlocked, nullptr, -1), call.caption, MB_OK | MB_ICONERROR);
  }
  return Fail(lastError_);
}

CSmartKey_GUI::OverwriteAnswer CSmartKey_GUI::AskOverwrite(const SessionDialogs::Call& call) {
  if (silent_) return OverwriteAnswer::Silent;
  const std::string question = JoinedTexts(kTextNotEmpty, kTextOverwrite);
  switch (MessageBoxA(call.owner, question.c_str(), call.caption, MB_YESNOCANCEL | MB_ICONWARNING | MB_DEFBUTTON2)) {
    case IDYES: return OverwriteAnswer::Yes;
    case IDNO: return OverwriteAnswer::No;
    default: return OverwriteAnswer::Cancel;
  }
}

const char* CSmartKey_GUI::PinToTry(const char* pin, int flags, bool& fromBlock) {
  fromBlock = false;
  if (pin) return pin;
  if (!block_ || (flags & kIgnoreSessionBlock)) return "";
  if (CardIdMatchesBlock(chosen_)) {
    fromBlock = true;
    return block_->pin;
  }
  return "";
}

int CSmartKey_GUI::VerifyAndOpen(const SessionDialogs::Call& call, int flags, int index, int attempts,
                                 const char* pin) {
  bool fromBlock = false;
  CopyBounded(pin_, PinToTry(pin, flags, fromBlock));
  const bool verified = Library().VerifyPIN(chosen_, pin_) != FALSE;
  if (!verified) {
    if (silent_) {
      if (!pin) {
        SetLastError(0);
        return chosen_;  // opened, its PIN not verified
      }
      const bool blocked = attempts <= 1 || GetLastError() == kPinBlocked;
      ReleaseCard(chosen_, 0);
      return Fail(blocked ? kPinBlocked : kWrongPin);
    }
    if (!AskPinUntilRight(call, flags, attempts)) return -1;
    fromBlock = false;
  }
  if (!fromBlock && !CheckHolder(call, flags)) return -1;

  if (pin_[0]) {
    CopyBounded(newPin_, pin_, kNewPinBufferSize - 1);
  } else if ((flags & kOpenForWriting) && block_ && IsZero(block_->cardId, sizeof block_->cardId)) {
    changePinRequest_ = true;  // a Key to be written gets a PIN
  }
  if (!ChangePinIfAsked(call, flags)) return -1;
  if (!ChangeRecordIfAsked(call, flags)) return -1;
  RememberKey(flags, index);

  if (flags & kOpenForWriting) {
    if (!Library().SetDataSize(chosen_, 0)) {
      const DWORD error = GetLastError();
      ReleaseCard(chosen_, 0);
      return Fail(error);
    }
  }
  lastError_ = 0;
  SetLastError(0);
  return chosen_;
}

bool CSmartKey_GUI::AskPinUntilRight(const SessionDialogs::Call& call, int flags, int attempts) {
  SessionDialogs::Call pinCall = call;
  pinCall.prompt = kTextEnterPin;
  for (int left = attempts; left > 0;) {
    if (dialogs_.KeyDialog(pinCall, pin_, sizeof pin_) != 1) {
      ReleaseCard(chosen_, 0);
      const DWORD error = lastError_;
      MarkRememberedCancel(flags);
      Fail(error);
      return false;
    }
    if (Library().VerifyPIN(chosen_, pin_)) return true;
    if (left == 1) break;
    std::string text = LoadStringText(kTextWrongPin, nullptr, -1);
    Library().CloseCard(chosen_, 0);
    int reported = Library().InitCard(chosen_, applicationId_);
    if (reported == tvkey32::kStatusNoAttemptCount) reported = kAttemptsWithoutCount;
    if (reported <= left - 1) {
      --left;
      text += '\n';
      text += FormatStringMessage(kTextAttemptsLeft, nullptr, kTextBufferSize, left);
    }
    MessageBoxA(call.owner, text.c_str(), call.caption, MB_OK | MB_ICONERROR);
  }
  ReleaseCard(chosen_, 0);
  MessageBoxA(call.owner, LoadStringText(kTextBlocked, nullptr, -1), call.caption, MB_OK | MB_ICONERROR);
  if ((flags & kRememberCancel) && !(flags & (kIgnoreSessionBlock | kKeepSessionBlock)) && block_)
    block_->cancelMarker = 1;
  Fail(ERROR_CANCELLED);
  return false;
}

bool CSmartKey_GUI::CheckHolder(const SessionDialogs::Call& call, int flags) {
  if (silent_) {
    // The biometric check would show its dialog: a silent call cannot pass
    // it, but a Key without a record needs none.
    DWORD size = 0;
    if (Library().ReadBIR(chosen_, 0, nullptr, &size) && size == 0) return true;
    ReleaseCard(chosen_, 0);
    Fail(kSilentContext);
    return false;
  }
  if (BiometricCheck(Library()).VerifyBIR(call.resources, call.owner, call.caption, chosen_)) return true;
  lastError_ = ERROR_CANCELLED;
  ReleaseCard(chosen_, 0);
  MarkRememberedCancel(flags);
  Fail(ERROR_CANCELLED);
  return false;
}

bool CSmartKey_GUI::ChangePinIfAsked(const SessionDialogs::Call& call, int flags) {
  SessionDialogs::Call changeCall = call;
  changeCall.prompt = kTextPinLabel;
  changeCall.secondPrompt = kTextConfirmPin;
  while (changePinRequest_) {
    const int result = dialogs_.ChangeDialog(changeCall, newPin_, sizeof newPin_);
    if (result == 0) break;
    if (result == 1) {
      if (Library().ChangePIN(chosen_, pin_, newPin_)) {
        CopyBounded(pin_, newPin_);
        break;
      }
      const std::string question = JoinedTexts(kTextChangePinFailed, kTextTryAgain);
      const int answer = MessageBoxA(call.owner, question.c_str(), call.caption, MB_YESNOCANCEL | MB_ICONWARNING);
      if (answer == IDYES) continue;
      if (answer == IDNO) {
        changePinRequest_ = false;
        break;
      }
      lastError_ = ERROR_CANCELLED;
    }
    ReleaseCard(chosen_, 0);  // Abort, or Cancel after a failed change
    if (silent_) {
      Fail(kSilentContext);
    } else {
      MarkRememberedCancel(flags);
      Fail(lastError_);
    }
    return false;
  }
  return true;
}

bool CSmartKey_GUI::ChangeRecordIfAsked(const SessionDialogs::Call& call, int flags) {
  if (!changeBirRequest_) return true;
  if (BiometricCheck(Library()).ChangeBIR(call.resources, call.owner, call.caption, chosen_)) return true;
  const DWORD error = GetLastError();
  if (error == ERROR_CANCELLED) return true;  // the record stays as it was
  ReleaseCard(chosen_, 0);
  lastError_ = error;
  MarkRememberedCancel(flags);
  Fail(error);
  return false;
}

void CSmartKey_GUI::RememberKey(int flags, int index) {
  if (!block_ || (flags & kKeepSessionBlock)) return;
  BYTE cardId[kCardIdLength] = {};
  DWORD length = sizeof cardId;
  if (Library().GetCardID(chosen_, cardId, &length) && length == sizeof cardId) {
    std::memcpy(block_->cardId, cardId, sizeof cardId);
    CopyBounded(block_->pin, pin_);
  }
  block_->cancelMarker = 0;
  block_->readerIndex = index;
  WriteLog(LogTrace, kLabel, "CSmartKey_GUI::OpenCard. %d.", sharing_ == SessionBlockSharing::PerUser ? 16 : 7);
}

int CSmartKey_GUI::Fail(DWORD error) {
  SetLastError(error);
  return -1;
}

void CSmartKey_GUI::MarkRememberedCancel(int flags) {
  if (block_ && (flags & kRememberCancel) && lastError_ == ERROR_CANCELLED &&
      !(flags & (kIgnoreSessionBlock | kKeepSessionBlock))) {
    block_->cancelMarker = 1;
  }
}

bool CSmartKey_GUI::IsZero(const BYTE* bytes, std::size_t length) {
  return std::all_of(bytes, bytes + length, [](BYTE b) { return b == 0; });
}

bool CSmartKey_GUI::CardIdMatchesBlock(int reader) const {
  BYTE cardId[kCardIdLength] = {};
  DWORD length = sizeof cardId;
  if (!Library().GetCardID(reader, cardId, &length) || length != sizeof cardId) return false;
  return !IsZero(block_->cardId, sizeof block_->cardId) &&
         std::memcmp(cardId, block_->cardId, sizeof cardId) == 0;
}

void CSmartKey_GUI::WipePins() {
  SecureZeroMemory(pin_, sizeof pin_);
  SecureZeroMemory(newPin_, sizeof newPin_);
}

bool CSmartKey_GUI::ClearSessionBlock() { return tv::token::ClearSessionBlock(block_); }

int CSmartKey_GUI::ReleaseCard(int reader, int flag) {
  if (!rememberPin_ && block_) ForgetRememberedPin(block_);
  Library().CloseCard(reader, flag);
  return 0;
}

void CSmartKey_GUI::RefreshSnapshot() {
  snapshot_.clear();
  for (std::size_t i = 0; i < ReaderCount() && i < kMaxReaders; ++i) snapshot_.push_back(ReaderAt(i)->handle);
  snapshotSet_ = true;
}

void CSmartKey_GUI::RefreshReadersIfChanged() {
  if (!Library().AnyReadersChanges(0)) return;
  CloseAllReaders();
  Sleep(200);
  OpenAllReaders();
  RefreshSnapshot();
}

int CSmartKey_GUI::SnapshotReader(int i) const {
  return i >= 0 && i < SnapshotCount() ? snapshot_[static_cast<std::size_t>(i)] : -1;
}

int CSmartKey_GUI::CheckReaders(int first, int end) {
  RefreshReadersIfChanged();
  int status = -1;
  end = std::min(end, SnapshotCount());
  for (int i = std::max(first, 0); i < end; ++i) {
    const int reader = SnapshotReader(i);
    WriteLog(LogTrace, kLabel, "CheckReaders. 1.");
    status = Library().InitCard(reader, applicationId_);
    WriteLog(LogTrace, kLabel, "CheckReaders. 2. %d.", status);
    if (status >= 0 || status == tvkey32::kStatusFinallyBlocked || status == tvkey32::kStatusNotFormatted) {
      chosen_ = reader;
      return status;
    }
    if (status == tvkey32::kStatusNoAttemptCount) {
      chosen_ = reader;
      return kAttemptsWithoutCount;
    }
    if (status != tvkey32::kStatusSessionAbsent && status != tvkey32::kStatusNoKey) ReleaseCard(reader, 1);
  }
  return status;
}

bool CSmartKey_GUI::BlockServes(int flags) const {
  return block_ && !(flags & kIgnoreSessionBlock) && !((flags & kRememberCancel) && block_->cancelMarker);
}

int CSmartKey_GUI::InitCardRetryingAbsent(int reader) {
  int status = Library().InitCard(reader, applicationId_);
  if (status == tvkey32::kStatusSessionAbsent) {
    ReleaseCard(reader, 0);
    status = Library().InitCard(reader, applicationId_);
  }
  return status;
}

int CSmartKey_GUI::EnumCards(int* table, int flags) {
  const bool blockServes = BlockServes(flags);
  if (blockServes) {
    const int last = block_->readerIndex;
    const int reader = SnapshotReader(last);
    if (reader != -1) {
      const int status = InitCardRetryingAbsent(reader);
      WriteLog(LogTrace, kLabel, "ReaderDialogProc. 3. %d. %d.", last, status);
      if (IsFoundKey(status) && CardIdMatchesBlock(reader)) {
        table[0] = last;
        return 1;
      }
      ReleaseCard(reader, 0);
    }
  }
  RefreshReadersIfChanged();
  int count = 0;
  for (int j = 0; j < SnapshotCount() && count < static_cast<int>(kMaxReaders); ++j) {
    const int reader = SnapshotReader(j);
    const int status = InitCardRetryingAbsent(reader);
    WriteLog(LogTrace, kLabel, "ReaderDialogProc. 4. %d. %d.", j, status);
    if (!IsFoundKey(status)) continue;
    if (blockServes && CardIdMatchesBlock(reader)) {
      table[count++] = j;
      break;  // the remembered Key is the one to take
    }
    if (status != tvkey32::kStatusNoAttemptCount) ReleaseCard(reader, 0);
    table[count++] = j;
  }
  WriteLog(LogTrace, kLabel, "ReaderDialogProc. 8. %d.", count);
  return count;
}

ReaderRecord* CSmartKey_GUI::RecordOf(int reader) {
  for (std::size_t i = 0; i < ReaderCount(); ++i) {
    if (ReaderAt(i)->handle == reader) return ReaderAt(i);
  }
  return nullptr;
}

bool CSmartKey_GUI::RunWithKey(HINSTANCE resources, HWND owner, const char* caption, int flags, void* context,
                               const KeyOperation& operation) {
  const std::lock_guard<std::recursive_mutex> hold(sessionLock_);
  const bool paused = AskToStopMonitorThread();
  bool result = false;
  const int reader = OpenCardKeepingPin(resources, owner, caption, flags, "", nullptr, nullptr);
  DWORD error = GetLastError();
  if (reader != -1) {
    result = operation ? operation(context, reader) : processKey(reader, context);
    error = GetLastError();
    if (ReaderRecord* r = RecordOf(reader)) {
      if (pin_[0]) r->SetCachedPin(pin_);
      r->failedPinCount = 0;
      r->state = ReaderState::Ready;
      CopyBounded(r->statusText, "Key inserted");
      RefreshCardInformation(*r);
    }
    ReleaseCard(reader, 1);
  }
  WipePins();
  if (paused) ResumeMonitorThread();
  SetLastError(error);
  return result;
}

}  // namespace tv::token
