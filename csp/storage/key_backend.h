// The Key backend ("C") beside its operation table (KeyStorage in
// storage.h): the one Key session of the process through which every Key
// storage reaches a Key or container file.
#pragma once
#include "token/key_session_ex.h"

namespace tv::csp {

// The token layer's application number of the provider's data area.
inline constexpr int kProviderApplication = 221;

// The process's Key session, made at its first use and initialised by the
// first Key storage opened; it stays initialised until the process ends.
token::CSmartKey_GUI_Ex& ProviderKeySession();

// The provider's "Mode" 1: a new container meant for a disk-drive reader
// becomes a container file in the root of that drive.
void SetKeyDiskRedirection(bool on);

}  // namespace tv::csp
