#include "certstore/registration.h"

#include <wincrypt.h>

#include "certstore/store_types.h"
#include "common/trace_log.h"

namespace tv::certstore {
namespace {

constexpr const char* kOpenStoreFunction = CRYPT_OID_OPEN_STORE_PROV_FUNC;  // "CertDllOpenStoreProv"
constexpr const char* kRegisterLabel = "DllRegister:";
constexpr const char* kUnregisterLabel = "DllUnregister:";
constexpr DWORD kCreateNew = CERT_STORE_CREATE_NEW_FLAG;
constexpr DWORD kDelete = CERT_STORE_DELETE_FLAG;

// Whether crypt32 answered that it has no physical stores at all. Wine's
// crypt32 fails both physical-store calls without setting any error (the
// last error stays as it was), so each call starts from a cleared one.
bool PhysicalStoresMissing(DWORD error) {
  return error == 0 || error == ERROR_CALL_NOT_IMPLEMENTED || error == static_cast<DWORD>(E_NOTIMPL);
}

void TracePhysicalStoresMissing(const char* label, DWORD error) {
  WriteLog(LogWarning, label, "physical stores are not available on this platform %08X", static_cast<unsigned>(error));
}

bool RegisterPhysicalStore(const PhysicalStore& row) {
  CERT_PHYSICAL_STORE_INFO info = {};
  info.cbSize = sizeof info;
  info.pszOpenStoreProvider = const_cast<char*>(kProviderName);
  info.dwOpenEncodingType = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
  info.dwOpenFlags = 0;
  info.OpenParameters.cbData = static_cast<DWORD>(strlen(row.openParameter));
  info.OpenParameters.pbData = reinterpret_cast<BYTE*>(const_cast<char*>(row.openParameter));
  info.dwFlags = CERT_PHYSICAL_STORE_ADD_ENABLE_FLAG;
  info.dwPriority = 1;
  SetLastError(0);
  return CertRegisterPhysicalStore(row.systemStore, row.location | kCreateNew, kPhysicalStoreName, &info, nullptr);
}

bool UnregisterPhysicalStore(const PhysicalStore& row) {
  SetLastError(0);
  return CertUnregisterPhysicalStore(row.systemStore, row.location | kDelete, kPhysicalStoreName);
}

}  // namespace

HRESULT RegisterStoreProvider() {
  WriteLog(LogTrace, kRegisterLabel, "1.");
  if (!CryptRegisterOIDFunction(0, kOpenStoreFunction, kProviderName, L"tvcstore.dll", "tvCertOpenStoreProv")) {
    WriteLog(LogError, kRegisterLabel, "register OID function %08X", static_cast<unsigned>(GetLastError()));
    return E_FAIL;
  }
  for (std::size_t i = 0; i < kPhysicalStoreTable.size(); ++i) {
    const PhysicalStore& row = kPhysicalStoreTable[i];
    WriteLog(LogTrace, kRegisterLabel, "%s", row.openParameter);
    if (RegisterPhysicalStore(row)) continue;
    DWORD error = GetLastError();
    if (PhysicalStoresMissing(error)) {
      TracePhysicalStoresMissing(kRegisterLabel, error);
      return S_OK;
    }
    if (error == ERROR_FILE_EXISTS) {
      if (!UnregisterPhysicalStore(row)) {
        WriteLog(LogError, kRegisterLabel, "unregister old physical store i = %d %08X", static_cast<int>(i),
                 static_cast<unsigned>(GetLastError()));
        return E_FAIL;
      }
      if (RegisterPhysicalStore(row)) continue;
      error = GetLastError();
    }
    WriteLog(LogError, kRegisterLabel, "register MY physical store i=%d %08X", static_cast<int>(i),
             static_cast<unsigned>(error));
    return E_FAIL;
  }
  return S_OK;
}

HRESULT UnregisterStoreProvider() {
  for (std::size_t i = 0; i < kPhysicalStoreTable.size(); ++i) {
    if (UnregisterPhysicalStore(kPhysicalStoreTable[i])) continue;
    const DWORD error = GetLastError();
    if (PhysicalStoresMissing(error)) {
      TracePhysicalStoresMissing(kUnregisterLabel, error);
      break;
    }
    if (error == ERROR_FILE_NOT_FOUND) continue;
    WriteLog(LogError, kUnregisterLabel, "unregister physical store i=%d %08X", static_cast<int>(i),
             static_cast<unsigned>(error));
    return E_FAIL;
  }
  if (CryptUnregisterOIDFunction(0, kOpenStoreFunction, kProviderName) || GetLastError() == ERROR_FILE_NOT_FOUND)
    return S_OK;
  return E_FAIL;
}

}  // namespace tv::certstore
