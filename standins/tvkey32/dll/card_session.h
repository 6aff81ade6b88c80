// Card sessions on reader handles: InitCard and CloseCard, and the frame in
// which every other card operation runs. A card operation needs an open
// session whose Key is still the one inserted when the session began (a Key
// removed in between is reported as removed, even if it is back), and, for
// the data areas and the biometric record of a Key with PIN, a PIN verified
// in this session.
#pragma once
#include <windows.h>

#include <functional>

#include "standins/tvkey32/dll/reader_handles.h"

namespace tv::keysim {

// InitCard: the status of tvkey32_api.h; the last error says more for the
// negative ones.
int InitCardOn(ReaderHandle& handle, int application);

// CloseCard: flag 0 ends the session; any other flag parks it (see
// SessionMode).
void CloseCardOn(ReaderHandle& handle, int flag);

enum class Access { Open, PinProtected };

struct Outcome {
  DWORD error = 0;
  bool changed = false;  // save the Key, even when error is set (a used-up PIN attempt)
};

using CardOperation = std::function<Outcome(KeyState& key, CardSession& session)>;

// Runs `operation` on the handle's Key under the Key's lock, saving the Key
// when it changed. Returns 0 or the error.
DWORD RunCardOperation(ReaderHandle& handle, Access access, const CardOperation& operation);

}  // namespace tv::keysim
