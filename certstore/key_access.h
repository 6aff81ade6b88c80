// The one way the store provider reaches the Key: "run this operation with
// an opened Key". The runner finds the Key, asks for what it needs (reader,
// PIN) under the request's caption, pauses the monitor while the operation
// runs, and calls the operation with the opened Key's reader handle. It
// returns the operation's result (false when no Key was opened) with the
// last error of the operation, or of the failed opening.
#pragma once
#include <windows.h>

#include <functional>


namespace tv::certstore {

// What the Key is opened for: the caption of the Key dialogs and the opening
// flags (2: a user's refusal is remembered for the session; 1: the Key is to
// be written afresh, asking before an area holding data is emptied).
struct KeyRequest {
  UINT captionId;
  int openFlags;
};

inline constexpr KeyRequest kOpenCertificateRequest{1060, 2};    // "Open Certificate"
inline constexpr KeyRequest kWriteCertificateRequest{1061, 2};   // "Write Certificate"
inline constexpr KeyRequest kWritePersonalRequest{1061, 3};      // a personal certificate starts a fresh area
inline constexpr KeyRequest kDeleteCertificateRequest{1062, 2};  // "Delete Certificate"

using KeyOperation = std::function<bool(int reader)>;
using KeyRunner = std::function<bool(const KeyRequest& request, const KeyOperation& operation)>;

}  // namespace tv::certstore
