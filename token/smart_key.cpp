#include "token/smart_key.h"

#include <mbstring.h>

#include <cstdio>
#include <cstring>

#include "common/language.h"
#include "common/trace_log.h"
#include "token/bounded_text.h"

namespace tv::token {
namespace {

constexpr const char* kLabel = "CSmartKey:";

}  // namespace

CSmartKey::CSmartKey(const SmartKeyOptions& options) : options_(options) { readers_.reserve(kMaxReaders); }

CSmartKey::~CSmartKey() {
  WriteLog(LogMonitor, kLabel, "~CSmartKey. 1. %08X.", static_cast<unsigned>(GetLastError()));
  Finalize();
  WriteLog(LogMonitor, kLabel, "~CSmartKey. 2. %08X.", static_cast<unsigned>(GetLastError()));
}

bool CSmartKey::Initialize(int applicationId) {
  WriteLog(LogMonitor, kLabel, "CSmartKey::Initialize. 1. %d. %d. %p.", applicationId, initialized_ ? 1 : 0,
           static_cast<void*>(module_));
  if (initialized_) {
    SetLastError(ERROR_ALREADY_INITIALIZED);
    return false;
  }
  applicationId_ = applicationId;
  module_ = BindTokenLibrary(options_.tokenLibrary, library_);
  if (!module_) {
    WriteLog(LogError, kLabel, "CSmartKey::Initialize. 2. %08X.", static_cast<unsigned>(GetLastError()));
    return false;
  }
  initialized_ = true;
  WriteLog(LogMonitor, kLabel, "CSmartKey::Initialize. 3. %p.", static_cast<void*>(module_));

  // Marks the first reader manager of the process; never waited on.
  char name[64];
  std::snprintf(name, sizeof name, "TV_CSMKEY_MONIT_THREAD_SEM166_%X", static_cast<unsigned>(GetCurrentProcessId()));
  semaphore_ = CreateSemaphoreA(nullptr, 0, 10, name);
  firstInstance_ = !(semaphore_ && GetLastError() == ERROR_ALREADY_EXISTS);
  WriteLog(LogMonitor, kLabel, "CSmartKey::Initialize. 4. %s. %d.", name, firstInstance_ ? 1 : 0);

  OpenAllReaders();
  WriteLog(LogMonitor, kLabel, "CSmartKey::Initialize. 5. %u.", static_cast<unsigned>(readers_.size()));
  return true;
}

void CSmartKey::Finalize() {
  WriteLog(LogMonitor, kLabel, "Finalize. 1. %08X. %p. %p. %p.", static_cast<unsigned>(GetLastError()),
           static_cast<void*>(thread_.load()), static_cast<void*>(semaphore_), static_cast<void*>(module_));
  if (thread_) AskToTerminateMonitorThread();
  RetireMonitorThread();
  if (retiredThread_) {
    CloseHandle(retiredThread_);
    retiredThread_ = nullptr;
  }
  if (semaphore_) {
    CloseHandle(semaphore_);
    semaphore_ = nullptr;
  }
  initialized_ = false;
  if (module_) {
    CloseAllReaders();
    FreeLibrary(module_);
    module_ = nullptr;
    library_ = {};
  }
  WriteLog(LogMonitor, kLabel, "Finalize. 2.");
}

void CSmartKey::OpenAllReaders() {
  for (auto& r : readers_) r->seen = false;

  for (int k = 0; readers_.size() < kMaxReaders; ++k) {
    const char* reported = library_.EnumReaders(k);
    if (!reported) break;
    char name[kReaderNameKept + 1];
    CopyBounded(name, reported);
    if (ReaderRecord* known = FindReader(name)) {
      known->seen = true;
      continue;
    }
    WriteLog(LogMonitor, kLabel, "CSmartkey new %s", name);
    auto r = std::make_unique<ReaderRecord>();
    CopyBounded(r->name, name);
    r->handle = library_.InitReader(r->name);
    r->seen = true;
    readers_.push_back(std::move(r));
    Notify([&] { onReaderChanged(name, true); });
  }

  for (std::size_t i = 0; i < readers_.size();) {
    if (readers_[i]->seen) {
      ++i;
      continue;
    }
    const ReaderRecord& gone = *readers_[i];
    if (gone.lastStatus != tvkey32::kStatusNoKey) {
      Notify([&] { onKeyRemoved(gone.name); });
      Notify([&] { onReaderChanged(gone.name, false); });
    }
    DropReader(i);  // the last record takes its slot
  }
}

void CSmartKey::DropReader(std::size_t i) {
  library_.CloseReader(readers_[i]->handle);
  readers_[i] = std::move(readers_.back());
  readers_.pop_back();
}

void CSmartKey::CloseAllReaders() {
  for (auto& r : readers_) library_.CloseReader(r->handle);
  readers_.clear();
}

ReaderRecord* CSmartKey::FindReader(const char* name) {
  for (std::size_t i = 0; i < readers_.size(); ++i) {
    ReaderRecord& r = *readers_[i];
    if (!name) {
      if (r.state != ReaderState::Waiting) return &r;
      continue;
    }
    if (_mbscmp(reinterpret_cast<const unsigned char*>(r.name), reinterpret_cast<const unsigned char*>(name)) == 0) {
      r.index = i;
      return &r;
    }
  }
  return nullptr;
}

const char* CSmartKey::ReaderNameAt(std::size_t i) const {
  if (!initialized_ || i >= readers_.size()) return nullptr;
  return readers_[i]->name;
}

void CSmartKey::SetState(ReaderRecord& r, ReaderState state, UINT textId) {
  r.state = state;
  LoadStringText(textId, r.statusText, sizeof r.statusText);
}

void CSmartKey::RefreshCardInformation(ReaderRecord& r) {
  if (!options_.cardInformation) return;
  CardInformation& card = r.card;
  BYTE id[kCardIdLength] = {};
  DWORD length = sizeof id;
  if (library_.GetCardID(r.handle, id, &length) && length == sizeof id) {
    // A PIN cached while the card ID was still unknown (all zero) belongs to
    // this Key; one cached for another Key is dropped.
    static constexpr BYTE kUnknown[kCardIdLength] = {};
    const bool known = memcmp(card.cardId, kUnknown, sizeof kUnknown) != 0;
    if (known && memcmp(id, card.cardId, sizeof id) != 0) r.ClearCachedPin();
    memcpy(card.cardId, id, sizeof id);
  }
  library_.GetApplicationInfo(r.handle, applicationId_, &card.own.value1, &card.own.value2);
  library_.GetApplicationInfo(r.handle, 0, &card.zero.value1, &card.zero.value2);
  library_.GetApplicationInfo(r.handle, 227, &card.extra.value1, &card.extra.value2);
  card.extraValue2Zero = card.extra.value2 == 0;
  char label[kLabelLength] = {};  // the library writes 32 bytes, not always terminated
  library_.ReadLabel(r.handle, label);
  memcpy(card.label, label, sizeof label);
  card.label[kLabelLength] = '\0';
}

void CSmartKey::onPinVerified(const char*, int, const char*) {}
void CSmartKey::onKeyReady(const char*) {}
void CSmartKey::onKeyRemoved(const char*) {}
bool CSmartKey::askPIN(const char*, int, int) { return false; }
void CSmartKey::onKeyError(const char*, const char*) {}
bool CSmartKey::processKey(int, void*) { return false; }
void CSmartKey::onNoKey() {}
void CSmartKey::onReaderChanged(const char*, bool) {}

}  // namespace tv::token
