#include "token/reader_record.h"

#include "token/bounded_text.h"

namespace tv::token {

void ReaderRecord::SetCachedPin(const char* pin) {
  ClearCachedPin();
  CopyBounded(cachedPin, pin, kMaxPinLength);
}

bool ReaderRecord::HoldsKey() const {
  switch (state) {
    case ReaderState::Ready:
    case ReaderState::Blocked:
    case ReaderState::FinallyBlocked:
    case ReaderState::PinRequired: return true;
    default: return false;
  }
}

}  // namespace tv::token
