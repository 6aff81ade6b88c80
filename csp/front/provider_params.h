// Provider parameters (PP_*) of a context: what CPGetProvParam reports and
// what CPSetProvParam changes. Each returns false with the last error set.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "csp/front/prov_context.h"

namespace tv::csp {

// Reads a parameter under the CryptoAPI size rule: a null data asks for the
// length; a short buffer gives ERROR_MORE_DATA and leaves the length as it
// was. The enumerations (PP_ENUMALGS, PP_ENUMALGS_EX, PP_ENUMCONTAINERS)
// move on only when a record was copied; CRYPT_FIRST starts them again.
bool GetProviderParam(ProvContext& context, DWORD param, BYTE* data, DWORD* length, DWORD flags);

// Changes a parameter: the client window, the container's key security
// (flags: the SECURITY_INFORMATION bits), the Key's PIN, or asks for the
// hardware generator.
bool SetProviderParam(ProvContext& context, DWORD param, BYTE* data, DWORD flags);

// True when the context's backend draws randomness from the Key.
inline bool HasHardwareGenerator(const ProvContext& context) {
  return context.storage && context.operations && context.operations->GenRandomOnKey;
}

}  // namespace tv::csp
