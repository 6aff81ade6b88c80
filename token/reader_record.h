// One record per Key reader that the token library reports: what the reader
// manager last learnt of the reader and of the Key in it.
#pragma once
#include <windows.h>

#include <cstddef>

namespace tv::token {

inline constexpr std::size_t kMaxReaders = 64;
inline constexpr std::size_t kReaderNameKept = 250;  // bytes of a reader name
inline constexpr std::size_t kMaxPinLength = 64;
inline constexpr std::size_t kLabelLength = 32;
inline constexpr std::size_t kCardIdLength = 8;
inline constexpr std::size_t kStatusTextSize = 100;

enum class ReaderState : int {
  Waiting = 0,         // no Key, or the Key was removed, or the monitor stopped
  Ready = 1,           // the cached PIN was verified, or an owner opened the Key
  Blocked = 2,         // no PIN attempts left
  FinallyBlocked = 3,  // must be reformatted
  Faulty = 4,          // error with the Key or the reader
  PinRequired = 5,     // no cached PIN, or it was wrong
  NotFormatted = 6,
};

struct ApplicationInfo {
  DWORD value1 = 0;
  DWORD value2 = 0;
};

// What the store provider keeps of the Key in a reader (the provider keeps
// nothing here).
struct CardInformation {
  BYTE cardId[kCardIdLength] = {};
  char label[kLabelLength + 1] = {};
  ApplicationInfo own;        // the owner's application
  ApplicationInfo zero;       // application 0
  ApplicationInfo extra;      // application 227
  bool extraValue2Zero = false;
};

struct ReaderRecord {
  ReaderRecord() = default;
  ReaderRecord(const ReaderRecord&) = delete;
  ReaderRecord& operator=(const ReaderRecord&) = delete;
  ~ReaderRecord() { ClearCachedPin(); }

  // Keeps at most 64 characters of `pin` (null or "" forgets it).
  void SetCachedPin(const char* pin);
  void ClearCachedPin() { SecureZeroMemory(cachedPin, sizeof cachedPin); }
  bool HasCachedPin() const { return cachedPin[0] != '\0'; }
  // Whether the reader holds a Key, by the state last found.
  bool HoldsKey() const;

  int handle = -1;  // from InitReader
  char name[256] = {};     // at most kReaderNameKept bytes of it used
  int lastStatus = 0;  // last InitCard status (-4 kept as 3)
  DWORD lastError = 0; // the last error right after that InitCard
  CardInformation card;
  char cachedPin[kMaxPinLength + 1] = {};
  ReaderState state = ReaderState::Waiting;
  char statusText[kStatusTextSize] = {};
  std::size_t index = 0;  // position in the reader list, set by FindReader
  int attemptsLeft = 3;
  int failedPinCount = 0;  // wrong cached PINs tried since the Key was inserted
  bool seen = false;       // still reported while the list is rebuilt
};

}  // namespace tv::token
