// Self-registration: the open-store function of the provider "tvcstore",
// and the physical store "tvcstore" in "MY", "CA" and "Root" on a platform
// that has physical stores.
#pragma once
#include <windows.h>

namespace tv::certstore {

// S_OK, or E_FAIL at the first error (what was registered before stays).
// Registering again replaces an existing physical store. A platform whose
// crypt32 does not implement physical stores gets the open-store function
// alone, and the trace log says so.
HRESULT RegisterStoreProvider();
// S_OK when nothing of the provider is registered any more, also when
// nothing was.
HRESULT UnregisterStoreProvider();

}  // namespace tv::certstore
