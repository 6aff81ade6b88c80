// Where the Protected Storage stand-in keeps its types, subtypes and items:
// one directory per key, type and subtype, one file per item, below the
// directory named by TV_PSTORE_DIR or else %LOCALAPPDATA%\Tavrin\PStore (so
// each user has a store of their own). An item file holds the confirmation
// style it was written with, then its data protected for the user with
// CryptProtectData. Every change of an item replaces its file in one step.
#pragma once
#include <windows.h>

#include <cstdint>
#include <span>

namespace tv::pstore {

// Results as the service reports them.
inline constexpr HRESULT kTypeExists = static_cast<HRESULT>(0x800C0004);    // PST_E_TYPE_EXISTS
inline constexpr HRESULT kTypeNoExists = static_cast<HRESULT>(0x800C0005);  // PST_E_TYPE_NO_EXISTS
inline constexpr HRESULT kStorageError = static_cast<HRESULT>(0x800C0008);  // PST_E_STORAGE_ERROR
inline constexpr HRESULT kItemExists = static_cast<HRESULT>(0x800C000F);    // PST_E_ITEM_EXISTS
inline constexpr HRESULT kItemNoExists = static_cast<HRESULT>(0x800C0010);  // PST_E_ITEM_NO_EXISTS

// An item's address: key, type, subtype and name.
struct ItemAddress {
  DWORD key;
  const GUID* type;
  const GUID* subtype;  // null addresses the type itself
  const wchar_t* name;  // null addresses the (sub)type itself
};

HRESULT CreateType(const ItemAddress& type);
// The type must exist.
HRESULT CreateSubtype(const ItemAddress& subtype);
// The subtype must exist; with noOverwrite an existing item is kept and
// the write fails.
HRESULT WriteItem(const ItemAddress& item, std::span<const std::uint8_t> data, DWORD confirmationStyle,
                  bool noOverwrite);
// The item's data in a LocalAlloc buffer that the caller frees.
HRESULT ReadItem(const ItemAddress& item, DWORD& size, BYTE*& data);
HRESULT DeleteItem(const ItemAddress& item);
// The confirmation style the item was last written with.
HRESULT ItemConfirmationStyle(const ItemAddress& item, DWORD& style);

}  // namespace tv::pstore
