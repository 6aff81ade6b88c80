// The exports of tvcstore: the open-store function that CryptoAPI calls
// when a process opens one of the provider's stores, its three store
// callbacks, self-registration and DllMain. Each entry traces and hands the
// work to the process-wide CertStoreProvider; nothing throws out of here.
#include <windows.h>
#include <wincrypt.h>

#include <atomic>

#include "certstore/cert_store_provider.h"
#include "certstore/registration.h"
#include "common/language.h"
#include "common/trace_log.h"

using namespace tv::certstore;

namespace {

constexpr const char* kLogTag = "cstore";
constexpr DWORD kStoreFunctionSlots = 23;

// Made at the first open, write or delete, not under the loader lock: the
// Key session maps its session block when it is made.
CertStoreProvider& Provider() {
  static CertStoreProvider provider;
  return provider;
}
HMODULE ModuleInstance;
std::atomic<bool> Detaching{false};

unsigned TraceValue(const void* p) { return static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(p)); }

// An opened store keeps our callbacks, and the monitor thread runs our code,
// while crypt32 frees the library right after the open (Wine does): the
// module stays loaded until the process ends from its first open on.
void KeepLoaded() {
  static const bool pinned = [] {
    HMODULE self = nullptr;
    return GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                              reinterpret_cast<LPCSTR>(&KeepLoaded), &self) != FALSE;
  }();
  (void)pinned;
}

void WINAPI CloseStore(HCERTSTOREPROV storeProvider, DWORD flags) {
  if (Detaching) return;
  tv::WriteLog(tv::LogTrace, "          Close:", "<---- hStoreProv=%08X, Flags=%08X", TraceValue(storeProvider),
               static_cast<unsigned>(flags));
}

BOOL WINAPI WriteCertificate(HCERTSTOREPROV storeProvider, PCCERT_CONTEXT certificate, DWORD flags) {
  tv::WriteLog(tv::LogTrace, "      WriteCert:", "      hStoreProv=%08X, CertContext=%08X, Flags=%08X",
               TraceValue(storeProvider), TraceValue(certificate), static_cast<unsigned>(flags));
  if (!certificate) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return Provider().WriteCertificate(certificate);
}

BOOL WINAPI DeleteCertificate(HCERTSTOREPROV storeProvider, PCCERT_CONTEXT certificate, DWORD flags) {
  tv::WriteLog(tv::LogTrace, "     DeleteCert:", "----> hStoreProv=%08X, CertContext=%08X, Flags=%08X",
               TraceValue(storeProvider), TraceValue(certificate), static_cast<unsigned>(flags));
  return Provider().DeleteCertificates();
}

void* StoreFunctions[kStoreFunctionSlots] = {
    reinterpret_cast<void*>(&CloseStore), nullptr, reinterpret_cast<void*>(&WriteCertificate),
    reinterpret_cast<void*>(&DeleteCertificate)};

}  // namespace

extern "C" {

BOOL WINAPI tvCertOpenStoreProv(LPCSTR storeProviderName, DWORD, HCRYPTPROV_LEGACY cryptProvider, DWORD flags,
                                const void* parameter, HCERTSTORE store, PCERT_STORE_PROV_INFO storeProvInfo) {
  const auto* openParameter = static_cast<const char*>(parameter);
  tv::WriteLog(tv::LogTrace, "           Open:",
               "----> Param=%s, Provider=%s, hCryptoProv=%08X, Flags=%08X, hCertStore=%08X, StoreProvInfo=%08X",
               openParameter ? openParameter : "", storeProviderName ? storeProviderName : "",
               static_cast<unsigned>(cryptProvider), static_cast<unsigned>(flags), TraceValue(store),
               TraceValue(storeProvInfo));
  if (!storeProvInfo || !store) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  KeepLoaded();
  *storeProvInfo = {};
  storeProvInfo->cbSize = sizeof *storeProvInfo;
  if (!Provider().Open(openParameter, store)) return FALSE;
  storeProvInfo->cStoreProvFunc = kStoreFunctionSlots;
  storeProvInfo->rgpvStoreProvFunc = StoreFunctions;
  tv::WriteLog(tv::LogTrace, "           Open:", "exit  Param=%s", openParameter ? openParameter : "");
  return TRUE;
}

HRESULT WINAPI DllRegisterServer() {
  tv::OpenLog(kLogTag, ModuleInstance);
  return RegisterStoreProvider();
}

HRESULT WINAPI DllUnregisterServer() {
  tv::OpenLog(kLogTag, ModuleInstance);
  return UnregisterStoreProvider();
}

// DllMain runs under the loader lock: it opens the trace log and binds the
// language resources, nothing more. The token library, the reader list and
// the monitor thread come with the first store opened.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    ModuleInstance = instance;
    tv::OpenLog(kLogTag, instance);
    tv::WriteLog(tv::LogTrace, "DllMain:", "1. %d.", static_cast<int>(reason));
    tv::WriteLog(tv::LogTrace, "DllMain:", "2.");
    tv::LoadLanguageModule("tvc", instance);
    tv::WriteLog(tv::LogTrace, "DllMain:", "3. %s.", GetCommandLineA());
    tv::WriteLog(tv::LogTrace, "DllMain:", "OK");
  } else if (reason == DLL_PROCESS_DETACH) {
    Detaching = true;
    tv::WriteLog(tv::LogTrace, "DllMain:", "DLL_PROCESS_DETTACH");
    tv::UnloadLanguageModule();
  }
  return TRUE;
}

}  // extern "C"
