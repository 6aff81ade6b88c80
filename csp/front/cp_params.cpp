// Provider parameters.
#include "csp/front/cp_entries.h"
#include "csp/front/entry_frame.h"
#include "csp/front/provider_params.h"

using namespace tv::csp;

namespace {

ULONG_PTR ProviderTag(HCRYPTPROV hProv) { return TagOf(HandleKind::Provider, hProv); }

}  // namespace

extern "C" {

BOOL WINAPI CPGetProvParam(HCRYPTPROV hProv, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen,
                           DWORD dwFlags) {
  const EntryFrame frame("CPGetProvParam");
  frame.Enter({hProv, ProviderTag(hProv), dwParam, TraceValue(pbData),
               pdwDataLen ? *pdwDataLen : 0, dwFlags});
  if (!frame.CheckHandle(HandleKind::Provider, hProv)) return FALSE;
  if (!GetProviderParam(*ContextFromHandle(hProv), dwParam, pbData, pdwDataLen, dwFlags))
    return frame.Refuse(GetLastError());
  return frame.Succeed(3);
}

BOOL WINAPI CPSetProvParam(HCRYPTPROV hProv, DWORD dwParam, BYTE* pbData, DWORD dwFlags) {
  const EntryFrame frame("CPSetProvParam");
  frame.Enter({hProv, ProviderTag(hProv), dwParam, TraceValue(pbData), dwFlags});
  if (!frame.CheckHandle(HandleKind::Provider, hProv)) return FALSE;
  if (!SetProviderParam(*ContextFromHandle(hProv), dwParam, pbData, dwFlags)) return frame.Refuse(GetLastError());
  return frame.Succeed(3);
}

}  // extern "C"
