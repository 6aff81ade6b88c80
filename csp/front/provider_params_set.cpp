#include <cstring>

#include "csp/crypto/cpu/wipe.h"
#include "csp/front/provider_params.h"

namespace tv::csp {
namespace {

// The Key session keeps no more of a PIN than this.
constexpr std::size_t kPinCharacters = 64;

bool Failed(DWORD error) {
  SetLastError(error);
  return false;
}

bool HasBackend(const ProvContext& context) { return context.storage && context.operations; }

// The caller passes the address of its window handle.
bool SetClientWindow(ProvContext& context, const BYTE* data) {
  if (!data) return Failed(ERROR_INVALID_PARAMETER);
  memcpy(&context.clientWindow, data, sizeof context.clientWindow);
  return true;
}

bool SetKeySetSecurity(ProvContext& context, BYTE* descriptor, DWORD information) {
  if (!descriptor) return Failed(ERROR_INVALID_PARAMETER);
  if (!HasBackend(context) || !context.operations->SetKeySecurity(context.storage, descriptor, information))
    return Failed(NTE_FAIL);
  return true;
}

// The backend gets its own zero-terminated copy, read no further than the
// Key session would keep, and wiped afterwards.
bool SetPin(ProvContext& context, const BYTE* data) {
  if (!data) return Failed(ERROR_INVALID_PARAMETER);
  if (!HasBackend(context)) return Failed(NTE_FAIL);
  crypto::WipingBuffer pin(kPinCharacters + 1);
  if (pin.Size() == 0) return Failed(NTE_NO_MEMORY);
  memcpy(pin.Data(), data, strnlen(reinterpret_cast<const char*>(data), kPinCharacters));
  if (!context.operations->SetContainerPin(context.storage, reinterpret_cast<const char*>(pin.Data())))
    return Failed(NTE_FAIL);
  return true;
}

}  // namespace

bool SetProviderParam(ProvContext& context, DWORD param, BYTE* data, DWORD flags) {
  if (flags && param != PP_KEYSET_SEC_DESCR) return Failed(NTE_BAD_FLAGS);
  switch (param) {
    case PP_CLIENT_HWND: return SetClientWindow(context, data);
    case PP_KEYSET_SEC_DESCR: return SetKeySetSecurity(context, data, flags);
    case PP_KEYEXCHANGE_PIN:
    case PP_SIGNATURE_PIN: return SetPin(context, data);
    // Nothing to store: the Key's generator is always preferred when there is one.
    case PP_USE_HARDWARE_RNG: return HasHardwareGenerator(context) || Failed(NTE_BAD_TYPE);
    default: return Failed(NTE_BAD_TYPE);
  }
}

}  // namespace tv::csp
