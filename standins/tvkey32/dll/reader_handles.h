// The reader handles of this process and the card session on each. Handles
// are small positive numbers, never reused within a process. All state here
// is guarded by ApiMutex(), which every export holds for its whole call.
#pragma once
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "standins/tvkey32/store/key_state.h"

namespace tv::keysim {

// Closed: no session. Open: InitCard found a usable Key. Parked: the caller
// let go of the Key with CloseCard flag 1; until that Key is removed (or
// CloseCard flag 0), InitCard answers "absent state" (-5).
enum class SessionMode { Closed, Open, Parked };

struct CardSession {
  SessionMode mode = SessionMode::Closed;
  std::uint32_t insertion = 0;   // of the Key the session belongs to
  std::uint32_t application = 0;
  bool pinVerified = false;
};

struct ReaderHandle {
  std::string directory;    // simulator directory when the reader was opened
  std::string readerName;   // the reader's name, or the container file's path
  const char* displayName = nullptr;  // stable for the life of the process
  bool container = false;
  CardSession session;
  // A container file that is missing or empty is a blank Key; it is kept here
  // (stable card ID) until its first change writes it to the file.
  std::optional<KeyState> blankKey;
};

std::mutex& ApiMutex();

int OpenReaderHandle(ReaderHandle handle);
ReaderHandle* FindReaderHandle(int handle);
bool CloseReaderHandle(int handle);

// A copy of `text` that lives as long as the process.
const char* InternText(const std::string& text);

}  // namespace tv::keysim
