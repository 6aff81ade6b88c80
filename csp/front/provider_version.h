// The provider's version as PP_VERSION reports it: major * 256 + minor of
// the product version in the module's own version resource.
#pragma once
#include <windows.h>

namespace tv::csp {

// 0x0100 for product version 1.0; 0 when the module's file or its version
// resource cannot be read.
DWORD ProviderVersion(HMODULE module);

}  // namespace tv::csp
