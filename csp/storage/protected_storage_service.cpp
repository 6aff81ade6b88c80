// The interface is used through its C method table, so that each method the
// backend needs is taken, and checked, by itself.
#define CINTERFACE
#include "csp/storage/protected_storage_service.h"

#include <pstore.h>

#include <mutex>

#include "common/proc_address.h"
#include "common/trace_log.h"
#include "csp/crypto/cpu/wipe.h"
#include "csp/storage/registry_values.h"

namespace tv::csp {
namespace {

constexpr PST_KEY kKey = PST_KEY_LOCAL_MACHINE;

using CreateInstanceFunction = HRESULT(WINAPI*)(IPStore** provider, PST_PROVIDERID* id, void* reserved,
                                                DWORD flags);

// The six methods of the provider interface that the backend calls.
struct ServiceBinding {
  HMODULE library = nullptr;
  IPStore* provider = nullptr;
  decltype(IPStoreVtbl::ReadItem) readItem = nullptr;
  decltype(IPStoreVtbl::WriteItem) writeItem = nullptr;
  decltype(IPStoreVtbl::CreateSubtype) createSubtype = nullptr;
  decltype(IPStoreVtbl::Release) release = nullptr;
  decltype(IPStoreVtbl::DeleteItem) deleteItem = nullptr;
  decltype(IPStoreVtbl::CreateType) createType = nullptr;

  bool Complete() const { return readItem && writeItem && createSubtype && release && deleteItem && createType; }
};

// Guards the count and the binding: contexts may be opened and released
// on several threads at once.
std::mutex ServiceLock;
unsigned OpenCount = 0;
ServiceBinding Service;

bool FailWithResult(HRESULT result) { return FailWith(static_cast<DWORD>(result)); }

// Display names are passed as writable strings by the interface.
PST_TYPEINFO TypeInfo(const wchar_t* displayName) {
  return {sizeof(PST_TYPEINFO), const_cast<LPWSTR>(displayName)};
}

HRESULT CreateKeyType(const ServiceBinding& binding) {
  PST_TYPEINFO info = TypeInfo(L"Cryptographic keys");
  const HRESULT result = binding.createType(binding.provider, kKey, &kKeyItemType, &info, 0);
  return result == kTypeExists ? S_OK : result;
}

HRESULT CreateKeySubtype(const GUID& subtype, const wchar_t* displayName) {
  PST_TYPEINFO info = TypeInfo(displayName);
  const HRESULT result =
      Service.createSubtype(Service.provider, kKey, &kKeyItemType, &subtype, &info, nullptr, 0);
  return result == kTypeExists ? S_OK : result;
}

// Releases what a binding holds: the provider, then the library.
void Unbind(ServiceBinding& binding) {
  if (binding.provider && binding.release) binding.release(binding.provider);
  if (binding.library) FreeLibrary(binding.library);
  binding = ServiceBinding();
}

// Loads pstorec.dll, creates the provider and takes its methods. The
// provider must then create the key item type (or find it made): the
// service of some platforms answers but creates nothing, and is then as
// unusable as a missing one.
bool Bind(ServiceBinding& binding) {
  ServiceBinding bound;
  bound.library = LoadLibraryA("pstorec.dll");
  const auto create =
      bound.library ? ProcAddress<CreateInstanceFunction>(bound.library, "PStoreCreateInstance") : nullptr;
  if (!create) {
    const DWORD error = GetLastError();
    WriteLog(LogError, "", "POpenKeyStorage. 2. %08X.", static_cast<unsigned>(error));
    Unbind(bound);
    return FailWith(error ? error : static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  }
  HRESULT result = create(&bound.provider, nullptr, nullptr, 0);
  if (result == S_OK && bound.provider && bound.provider->lpVtbl) {
    const IPStoreVtbl& methods = *bound.provider->lpVtbl;
    bound.readItem = methods.ReadItem;
    bound.writeItem = methods.WriteItem;
    bound.createSubtype = methods.CreateSubtype;
    bound.release = methods.Release;
    bound.deleteItem = methods.DeleteItem;
    bound.createType = methods.CreateType;
  }
  if (result == S_OK && !bound.Complete()) result = E_POINTER;
  if (result != S_OK) {
    WriteLog(LogError, "", "POpenKeyStorage. 3. %08X.", static_cast<unsigned>(result));
    if (!bound.release) bound.provider = nullptr;
    Unbind(bound);
    return FailWithResult(result);
  }
  result = CreateKeyType(bound);
  if (result != S_OK) {
    WriteLog(LogError, "", "POpenKeyStorage. 4. %08X.", static_cast<unsigned>(result));
    Unbind(bound);
    return FailWithResult(result);
  }
  binding = bound;
  return true;
}

}  // namespace

bool AcquireProtectedStorage() {
  std::lock_guard<std::mutex> hold(ServiceLock);
  if (OpenCount == 0 && !Bind(Service)) return false;
  ++OpenCount;
  return true;
}

bool ReleaseProtectedStorage() {
  std::lock_guard<std::mutex> hold(ServiceLock);
  if (OpenCount == 0) return FailWith(ERROR_INVALID_PARAMETER);
  if (OpenCount > 1) {
    --OpenCount;
    return true;
  }
  // Our reference is given up either way. When others still hold the
  // provider, its code stays loaded for them.
  const ULONG othersHolding = Service.release(Service.provider);
  OpenCount = 0;
  const HMODULE library = Service.library;
  Service = ServiceBinding();
  return othersHolding != 0 || FreeLibrary(library) != FALSE;
}

HRESULT CreateKeyItemTypes() {
  HRESULT result = CreateKeyType(Service);
  if (result == S_OK) result = CreateKeySubtype(kSignatureKeySubtype, L"RSA Signature Key");
  if (result == S_OK) result = CreateKeySubtype(kExchangeKeySubtype, L"RSA Exchange Key");
  return result;
}

// The service allocates items with LocalAlloc.
void ServiceItem::Reset(BYTE* data, DWORD size) {
  if (data_) {
    crypto::SecureWipe(data_, size_);
    LocalFree(data_);
  }
  data_ = data;
  size_ = data ? size : 0;
}

HRESULT ReadKeyItem(const GUID& type, const GUID& subtype, const wchar_t* name, ServiceItem& item) {
  DWORD size = 0;
  BYTE* data = nullptr;
  const HRESULT result = Service.readItem(Service.provider, kKey, &type, &subtype, name, &size, &data, nullptr, 0);
  if (result == S_OK) item.Reset(data, size);
  return result;
}

HRESULT WriteKeyItem(const GUID& subtype, const wchar_t* name, std::span<const std::uint8_t> data,
                     DWORD confirmationStyle) {
  return Service.writeItem(Service.provider, kKey, &kKeyItemType, &subtype, name, static_cast<DWORD>(data.size()),
                           const_cast<BYTE*>(data.data()), nullptr, confirmationStyle, 0);
}

HRESULT DeleteKeyItem(const GUID& subtype, const wchar_t* name) {
  return Service.deleteItem(Service.provider, kKey, &kKeyItemType, &subtype, name, nullptr, 0);
}

}  // namespace tv::csp
