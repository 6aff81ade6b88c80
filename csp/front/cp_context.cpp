// Provider-context entries: acquisition, release, parameters, user keys and
// random bytes.
#include "common/trace_log.h"
#include "csp/front/cp_entries.h"
#include "csp/front/entry_frame.h"
#include "csp/front/process_state.h"

using namespace tv::csp;

namespace {

constexpr DWORD kMachineAndSilent = CRYPT_MACHINE_KEYSET | CRYPT_SILENT;

// The acquisition kinds: open (0), create, delete, or verify-only (no
// container name at all, not even an empty one).
bool AcceptedAcquireFlags(DWORD flags, const char* container) {
  const DWORD base = flags & ~kMachineAndSilent;
  if (base == CRYPT_VERIFYCONTEXT) return container == nullptr;
  return base == 0 || base == CRYPT_NEWKEYSET || base == CRYPT_DELETEKEYSET;
}

ULONG_PTR ProviderTag(HCRYPTPROV hProv) { return TagOf(HandleKind::Provider, hProv); }

}  // namespace

extern "C" {

BOOL WINAPI CPAcquireContext(HCRYPTPROV* phProv, LPSTR szContainer, DWORD dwFlags,
                             void*) {
  tv::WriteLog(tv::LogTrace, "", "CPAcquireContext. 1. %08X. %s. %08X.",
               static_cast<unsigned>(TraceValue(phProv)), szContainer ? szContainer : "",
               static_cast<unsigned>(dwFlags));
  const EntryFrame frame("CPAcquireContext");
  if (!AcceptedAcquireFlags(dwFlags, szContainer)) return frame.Fail(13, NTE_BAD_FLAGS);
  if (!phProv) return frame.Refuse(ERROR_INVALID_PARAMETER);
  *phProv = 0;
  const DWORD base = dwFlags & ~kMachineAndSilent;
  if ((dwFlags & CRYPT_SILENT) && (base == CRYPT_NEWKEYSET || base == CRYPT_DELETEKEYSET))
    return frame.Refuse(NTE_SILENT_CONTEXT);
  // No storage backend is available to this build: no container opens.
  tv::WriteLog(tv::LogError, "", "CPAcquireContext. 8. %08X. %s.",
               static_cast<unsigned>(NTE_BAD_KEYSET), szContainer ? szContainer : "");
  return frame.Refuse(NTE_BAD_KEYSET);
}

BOOL WINAPI CPReleaseContext(HCRYPTPROV hProv, DWORD dwFlags) {
  const EntryFrame frame("CPReleaseContext");
  frame.Enter({hProv, ProviderTag(hProv), dwFlags});
  if (!IsValidHandle(HandleKind::Provider, hProv)) {
    tv::WriteLog(tv::LogError, "", "CPReleaseContext. 2. %08X. %08X. %08X.",
                 static_cast<unsigned>(hProv), static_cast<unsigned>(HandleTag.load()),
                 static_cast<unsigned>(ProviderTag(hProv)));
    return frame.Refuse(NTE_BAD_UID);
  }
  if (dwFlags) return frame.Fail(3, NTE_BAD_FLAGS);
  return frame.Refuse(NTE_BAD_UID);
}

BOOL WINAPI CPGetProvParam(HCRYPTPROV hProv, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen,
                           DWORD dwFlags) {
  const EntryFrame frame("CPGetProvParam");
  frame.Enter({hProv, ProviderTag(hProv), dwParam, TraceValue(pbData),
               pdwDataLen ? *pdwDataLen : 0, dwFlags});
  if (!frame.CheckHandle(HandleKind::Provider, hProv)) return FALSE;
  return frame.Refuse(NTE_BAD_UID);
}

BOOL WINAPI CPSetProvParam(HCRYPTPROV hProv, DWORD dwParam, BYTE* pbData, DWORD dwFlags) {
  const EntryFrame frame("CPSetProvParam");
  frame.Enter({hProv, ProviderTag(hProv), dwParam, TraceValue(pbData), dwFlags});
  if (!frame.CheckHandle(HandleKind::Provider, hProv)) return FALSE;
  return frame.Refuse(NTE_BAD_UID);
}

BOOL WINAPI CPGenRandom(HCRYPTPROV hProv, DWORD dwLen, BYTE* pbBuffer) {
  const EntryFrame frame("CPGenRandom");
  frame.Enter({hProv, ProviderTag(hProv), dwLen, TraceValue(pbBuffer)});
  if (!frame.CheckHandle(HandleKind::Provider, hProv)) return FALSE;
  return frame.Refuse(NTE_BAD_UID);
}

BOOL WINAPI CPGetUserKey(HCRYPTPROV hProv, DWORD dwKeySpec, HCRYPTKEY* phUserKey) {
  const EntryFrame frame("CPGetUserKey");
  frame.Enter({hProv, ProviderTag(hProv), dwKeySpec, TraceValue(phUserKey)});
  if (!frame.CheckHandle(HandleKind::Provider, hProv)) return FALSE;
  return frame.Refuse(NTE_BAD_UID);
}

}  // extern "C"
