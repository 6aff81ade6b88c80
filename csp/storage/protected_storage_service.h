// The platform's Protected Storage service (pstorec.dll), where the
// Protected Storage backend keeps its containers' private key records as
// items: one item type for the provider's keys, a subtype per key pair, the
// container's name as item name, always under PST_KEY_LOCAL_MACHINE.
//
// The service is bound by name while at least one Protected Storage
// storage is open: the first AcquireProtectedStorage loads pstorec.dll,
// creates the provider interface and probes it, the ReleaseProtectedStorage
// that ends the last one releases both. A platform whose pstorec.dll is
// missing, or answers but cannot create the provider's item type, counts
// as having no Protected Storage.
#pragma once
#include <windows.h>

#include <cstdint>
#include <span>

namespace tv::csp {

// Item type of the provider's keys, {4D1FA410-6FD9-11D0-8C58-00C04FD9126B}
// "Cryptographic keys", and the subtypes of its two key pairs.
inline constexpr GUID kKeyItemType = {0x4D1FA410, 0x6FD9, 0x11D0, {0x8C, 0x58, 0x00, 0xC0, 0x4F, 0xD9, 0x12, 0x6B}};
inline constexpr GUID kSignatureKeySubtype = {0x4D1FA411, 0x6FD9, 0x11D0,
                                              {0x8C, 0x58, 0x00, 0xC0, 0x4F, 0xD9, 0x12, 0x6B}};
inline constexpr GUID kExchangeKeySubtype = {0x4D1FA412, 0x6FD9, 0x11D0,
                                             {0x8C, 0x58, 0x00, 0xC0, 0x4F, 0xD9, 0x12, 0x6B}};

// Results of the service that the backend tells apart.
inline constexpr HRESULT kTypeExists = static_cast<HRESULT>(0x800C0004);    // PST_E_TYPE_EXISTS
inline constexpr HRESULT kItemNoExists = static_cast<HRESULT>(0x800C0010);  // PST_E_ITEM_NO_EXISTS

// Confirmation styles of a written item: the service's own settings decide
// whether the user confirms later use, or no confirmation at all.
inline constexpr DWORD kConfirmDefault = 0;  // PST_CF_DEFAULT
inline constexpr DWORD kConfirmNone = 1;     // PST_CF_NONE

// Counts an open storage; binds and probes the service for the first.
// False (last error set) when the service is missing or unusable; the
// reason is in the trace log.
bool AcquireProtectedStorage();
// Uncounts one; false when none was counted or freeing pstorec.dll failed.
// The library stays loaded while others still hold the provider.
bool ReleaseProtectedStorage();

// Creates the item type and both subtypes; those that exist already are
// kept. 0 on success, else the service's result.
HRESULT CreateKeyItemTypes();

// An item's data, allocated by the service; wiped and freed when the
// owner goes away.
class ServiceItem {
 public:
  ServiceItem() = default;
  ~ServiceItem() { Reset(nullptr, 0); }
  ServiceItem(const ServiceItem&) = delete;
  ServiceItem& operator=(const ServiceItem&) = delete;

  std::span<const std::uint8_t> Bytes() const { return {data_, size_}; }

 private:
  friend HRESULT ReadKeyItem(const GUID&, const GUID&, const wchar_t*, ServiceItem&);
  // Gives up the data held (wiped, then freed) and takes `data`.
  void Reset(BYTE* data, DWORD size);

  BYTE* data_ = nullptr;
  DWORD size_ = 0;
};

// Reads the item (type, subtype, name) into `item`; 0 or the service's result.
HRESULT ReadKeyItem(const GUID& type, const GUID& subtype, const wchar_t* name, ServiceItem& item);
// Writes an item of the key type, replacing what it held.
HRESULT WriteKeyItem(const GUID& subtype, const wchar_t* name, std::span<const std::uint8_t> data,
                     DWORD confirmationStyle);
// Deletes an item of the key type.
HRESULT DeleteKeyItem(const GUID& subtype, const wchar_t* name);

}  // namespace tv::csp
