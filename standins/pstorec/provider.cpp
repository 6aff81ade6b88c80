// The Protected Storage provider object of the stand-in: the interface's
// full method table in its documented order. The methods that keep types,
// subtypes and items work on the item store (item_store.h); the others
// answer E_NOTIMPL. Prompt information is accepted and ignored: the
// stand-in never shows a window.
#define CINTERFACE
#define CONST_VTABLE
#include <windows.h>
#include <pstore.h>

#include <new>

#include "standins/pstorec/item_store.h"

namespace tv::pstore {
namespace {

struct Provider {
  IPStore object;  // first, so that the interface pointer is the object's
  LONG references;
};

Provider* Self(IPStore* object) { return reinterpret_cast<Provider*>(object); }

ItemAddress Address(PST_KEY key, const GUID* type, const GUID* subtype, LPCWSTR name) {
  return {key, type, subtype, name};
}

bool ValidKey(PST_KEY key) { return key == PST_KEY_CURRENT_USER || key == PST_KEY_LOCAL_MACHINE; }

HRESULT WINAPI QueryInterface(IPStore* self, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!IsEqualIID(iid, IID_IUnknown)) return E_NOINTERFACE;
  *object = self;
  self->lpVtbl->AddRef(self);
  return S_OK;
}

ULONG WINAPI AddRef(IPStore* self) { return static_cast<ULONG>(InterlockedIncrement(&Self(self)->references)); }

ULONG WINAPI Release(IPStore* self) {
  const LONG left = InterlockedDecrement(&Self(self)->references);
  if (left == 0) delete Self(self);
  return static_cast<ULONG>(left);
}

HRESULT WINAPI GetInfo(IPStore*, PPST_PROVIDERINFO*) { return E_NOTIMPL; }
HRESULT WINAPI GetProvParam(IPStore*, DWORD, DWORD*, BYTE**, DWORD) { return E_NOTIMPL; }
HRESULT WINAPI SetProvParam(IPStore*, DWORD, DWORD, BYTE*, DWORD) { return E_NOTIMPL; }

HRESULT WINAPI CreateType(IPStore*, PST_KEY key, const GUID* type, PPST_TYPEINFO info, DWORD) {
  if (!ValidKey(key) || !type || !info) return E_INVALIDARG;
  return tv::pstore::CreateType(Address(key, type, nullptr, nullptr));
}

HRESULT WINAPI GetTypeInfo(IPStore*, PST_KEY, const GUID*, PPST_TYPEINFO*, DWORD) { return E_NOTIMPL; }
HRESULT WINAPI DeleteType(IPStore*, PST_KEY, const GUID*, DWORD) { return E_NOTIMPL; }

HRESULT WINAPI CreateSubtype(IPStore*, PST_KEY key, const GUID* type, const GUID* subtype, PPST_TYPEINFO info,
                             PPST_ACCESSRULESET, DWORD) {
  if (!ValidKey(key) || !type || !subtype || !info) return E_INVALIDARG;
  return tv::pstore::CreateSubtype(Address(key, type, subtype, nullptr));
}

HRESULT WINAPI GetSubtypeInfo(IPStore*, PST_KEY, const GUID*, const GUID*, PPST_TYPEINFO*, DWORD) {
  return E_NOTIMPL;
}
HRESULT WINAPI DeleteSubtype(IPStore*, PST_KEY, const GUID*, const GUID*, DWORD) { return E_NOTIMPL; }
HRESULT WINAPI ReadAccessRuleset(IPStore*, PST_KEY, const GUID*, const GUID*, PPST_ACCESSRULESET*, DWORD) {
  return E_NOTIMPL;
}
HRESULT WINAPI WriteAccessRuleset(IPStore*, PST_KEY, const GUID*, const GUID*, PPST_ACCESSRULESET, DWORD) {
  return E_NOTIMPL;
}
HRESULT WINAPI EnumTypes(IPStore*, PST_KEY, DWORD, IEnumPStoreTypes**) { return E_NOTIMPL; }
HRESULT WINAPI EnumSubtypes(IPStore*, PST_KEY, const GUID*, DWORD, IEnumPStoreTypes**) { return E_NOTIMPL; }

bool ValidItem(PST_KEY key, const GUID* type, const GUID* subtype, LPCWSTR name) {
  return ValidKey(key) && type && subtype && name && *name;
}

HRESULT WINAPI DeleteItem(IPStore*, PST_KEY key, const GUID* type, const GUID* subtype, LPCWSTR name,
                          PPST_PROMPTINFO, DWORD) {
  if (!ValidItem(key, type, subtype, name)) return E_INVALIDARG;
  return tv::pstore::DeleteItem(Address(key, type, subtype, name));
}

HRESULT WINAPI ReadItem(IPStore*, PST_KEY key, const GUID* type, const GUID* subtype, LPCWSTR name, DWORD* size,
                        BYTE** data, PPST_PROMPTINFO, DWORD) {
  if (!ValidItem(key, type, subtype, name) || !size || !data) return E_INVALIDARG;
  *size = 0;
  *data = nullptr;
  return tv::pstore::ReadItem(Address(key, type, subtype, name), *size, *data);
}

HRESULT WINAPI WriteItem(IPStore*, PST_KEY key, const GUID* type, const GUID* subtype, LPCWSTR name, DWORD size,
                         BYTE* data, PPST_PROMPTINFO, DWORD confirmationStyle, DWORD flags) {
  if (!ValidItem(key, type, subtype, name) || (!data && size != 0)) return E_INVALIDARG;
  return tv::pstore::WriteItem(Address(key, type, subtype, name), {data, size}, confirmationStyle,
                               (flags & PST_NO_OVERWRITE) != 0);
}

HRESULT WINAPI OpenItem(IPStore*, PST_KEY, const GUID*, const GUID*, LPCWSTR, PST_ACCESSMODE, PPST_PROMPTINFO,
                        DWORD) {
  return E_NOTIMPL;
}
HRESULT WINAPI CloseItem(IPStore*, PST_KEY, const GUID*, const GUID*, LPCWSTR, DWORD) { return E_NOTIMPL; }
HRESULT WINAPI EnumItems(IPStore*, PST_KEY, const GUID*, const GUID*, DWORD, IEnumPStoreItems**) {
  return E_NOTIMPL;
}

const IPStoreVtbl kMethods = {
    QueryInterface, AddRef,        Release,          GetInfo,           GetProvParam,       SetProvParam,
    CreateType,     GetTypeInfo,   DeleteType,       CreateSubtype,     GetSubtypeInfo,     DeleteSubtype,
    ReadAccessRuleset, WriteAccessRuleset, EnumTypes, EnumSubtypes,    DeleteItem,         ReadItem,
    WriteItem,      OpenItem,      CloseItem,        EnumItems,
};

}  // namespace
}  // namespace tv::pstore

// The system's provider is the only one; a caller may name it or not.
extern "C" HRESULT WINAPI PStoreCreateInstance(IPStore** provider, PST_PROVIDERID* id, void*, DWORD flags) {
  static const GUID kBaseProvider = MS_BASE_PSTPROVIDER_ID;
  if (!provider || flags != 0) return E_INVALIDARG;
  *provider = nullptr;
  if (id && !IsEqualGUID(*id, kBaseProvider)) return static_cast<HRESULT>(0x800C0002);  // PST_E_PROV_DLL_NOT_FOUND
  auto* created = new (std::nothrow) tv::pstore::Provider{{&tv::pstore::kMethods}, 1};
  if (!created) return E_OUTOFMEMORY;
  *provider = &created->object;
  return S_OK;
}

// For tests: the confirmation style an item was last written with.
extern "C" HRESULT WINAPI StandInItemConfirmationStyle(PST_KEY key, const GUID* type, const GUID* subtype,
                                                       LPCWSTR name, DWORD* style) {
  if (!tv::pstore::ValidItem(key, type, subtype, name) || !style) return E_INVALIDARG;
  return tv::pstore::ItemConfirmationStyle(tv::pstore::Address(key, type, subtype, name), *style);
}
