// Provider-context entries: acquisition, release, user keys and random
// bytes.
#include <cstring>

#include "common/trace_log.h"
#include "csp/crypto/objects/key_params.h"
#include "csp/front/context_acquisition.h"
#include "csp/front/cp_entries.h"
#include "csp/front/entry_frame.h"
#include "csp/front/object_handles.h"
#include "csp/front/process_state.h"
#include "csp/front/prov_context.h"
#include "csp/front/random/random_generator.h"

using namespace tv::csp;

namespace {

ULONG_PTR ProviderTag(HCRYPTPROV hProv) { return TagOf(HandleKind::Provider, hProv); }

}  // namespace

extern "C" {

BOOL WINAPI CPAcquireContext(HCRYPTPROV* phProv, LPSTR szContainer, DWORD dwFlags, void*) {
  tv::WriteLog(tv::LogTrace, "", "CPAcquireContext. 1. %08X. %s. %08X.",
               static_cast<unsigned>(TraceValue(phProv)), szContainer ? szContainer : "",
               static_cast<unsigned>(dwFlags));
  const EntryFrame frame("CPAcquireContext");
  if (!AcceptedAcquireFlags(dwFlags, szContainer)) return frame.Fail(13, NTE_BAD_FLAGS);
  if (!phProv) return frame.Refuse(ERROR_INVALID_PARAMETER);
  *phProv = 0;
  ProvContext* context = nullptr;
  if (!AcquireContext(szContainer, dwFlags, context)) return frame.Refuse(GetLastError());
  *phProv = reinterpret_cast<HCRYPTPROV>(context);  // 0 after a deletion
  LastProviderError = 0;
  tv::WriteLog(tv::LogTrace, "", "CPAcquireContext. 14. %08X.", static_cast<unsigned>(*phProv));
  tv::WriteLog(tv::LogTrace, "", "CPAcquireContext. 15. %08X. %08X.", static_cast<unsigned>(ContextCount.load()),
               static_cast<unsigned>(GetLastError()));
  return TRUE;
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
  if (!ReleaseContext(ContextFromHandle(hProv))) return frame.Fail(4, GetLastError());
  tv::WriteLog(tv::LogTrace, "", "CPReleaseContext. 6. %08X. %08X.", static_cast<unsigned>(GetLastError()),
               static_cast<unsigned>(ContextCount.load()));
  return TRUE;
}

BOOL WINAPI CPGenRandom(HCRYPTPROV hProv, DWORD dwLen, BYTE* pbBuffer) {
  const EntryFrame frame("CPGenRandom");
  frame.Enter({hProv, ProviderTag(hProv), dwLen, TraceValue(pbBuffer)});
  if (!frame.CheckHandle(HandleKind::Provider, hProv)) return FALSE;
  if (!pbBuffer && dwLen) return frame.Refuse(ERROR_INVALID_PARAMETER);
  if (!ContextRandom(*ContextFromHandle(hProv), pbBuffer, dwLen)) return frame.Fail(2, NTE_FAIL);
  tv::WriteLog(tv::LogTrace, "", "CPGenRandom. 3. %08X", static_cast<unsigned>(GetLastError()));
  return TRUE;
}

BOOL WINAPI CPGetUserKey(HCRYPTPROV hProv, DWORD dwKeySpec, HCRYPTKEY* phUserKey) {
  const EntryFrame frame("CPGetUserKey");
  frame.Enter({hProv, ProviderTag(hProv), dwKeySpec, TraceValue(phUserKey)});
  if (!frame.CheckHandle(HandleKind::Provider, hProv)) return FALSE;
  if (!phUserKey) return frame.Refuse(ERROR_INVALID_PARAMETER);
  ProvContext& context = *ContextFromHandle(hProv);
  if (!EnsureKeyPairsLoaded(context)) return frame.Fail(2, GetLastError());
  KeyObject** pair = context.PairFor(dwKeySpec);
  if (!pair) return frame.Refuse(NTE_BAD_TYPE);
  if (!*pair) return frame.Refuse(NTE_NO_KEY);
  KeyObject* copy = DuplicateKeyObject(**pair);
  if (!copy) return frame.Refuse(GetLastError());
  *phUserKey = IssueKeyHandle(copy);
  tv::WriteLog(tv::LogTrace, "", "CPGetUserKey. 3. %08X.", static_cast<unsigned>(*phUserKey));
  return TRUE;
}

}  // extern "C"
