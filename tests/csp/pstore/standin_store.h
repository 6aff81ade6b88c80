// The Protected Storage stand-in as tests see it: a store directory of the
// test's own, and the stand-in's items reached through its interface, so
// that a test can look at, damage or remove what the provider stored.
#pragma once
#include <windows.h>
#include <pstore.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/isolation.h"

namespace tvtest {

using Bytes = std::vector<std::uint8_t>;

// The provider's item type and the subtypes of its exchange and signature
// pairs, written out here independently of the product.
inline constexpr GUID kKeyType = {0x4D1FA410, 0x6FD9, 0x11D0, {0x8C, 0x58, 0x00, 0xC0, 0x4F, 0xD9, 0x12, 0x6B}};
inline constexpr GUID kSignatureSubtype = {0x4D1FA411, 0x6FD9, 0x11D0,
                                           {0x8C, 0x58, 0x00, 0xC0, 0x4F, 0xD9, 0x12, 0x6B}};
inline constexpr GUID kExchangeSubtype = {0x4D1FA412, 0x6FD9, 0x11D0,
                                          {0x8C, 0x58, 0x00, 0xC0, 0x4F, 0xD9, 0x12, 0x6B}};

// A fresh store directory for the stand-in (TV_PSTORE_DIR) while it lives.
class ScopedStandInStore {
 public:
  ScopedStandInStore();
  ~ScopedStandInStore();
  ScopedStandInStore(const ScopedStandInStore&) = delete;
  ScopedStandInStore& operator=(const ScopedStandInStore&) = delete;
  // Points the stand-in at another, empty directory: what was stored is
  // out of its reach from now on.
  void SwitchToEmptyStore();

 private:
  TempDir directory_, spare_;
};

// Directory of the stand-in, beside the test programs.
std::string StandInDirectory();

// The stand-in in this process: its directory is put on the DLL search path
// ahead of the system's, so that every later load of "pstorec.dll" here,
// the provider's included, finds the stand-in.
class StandIn {
 public:
  StandIn();
  ~StandIn();
  StandIn(const StandIn&) = delete;
  StandIn& operator=(const StandIn&) = delete;

  // True when the loaded pstorec.dll is the stand-in.
  bool Loaded() const { return confirmationStyle_ != nullptr; }
  // The items of a container's key pairs, under key 1.
  std::optional<Bytes> Item(const GUID& subtype, const std::string& container) const;
  HRESULT WriteItem(const GUID& subtype, const std::string& container, Bytes data) const;
  HRESULT DeleteItem(const GUID& subtype, const std::string& container) const;
  std::optional<DWORD> ConfirmationStyle(const GUID& subtype, const std::string& container) const;

 private:
  using StyleFunction = HRESULT(WINAPI*)(PST_KEY, const GUID*, const GUID*, LPCWSTR, DWORD*);
  HMODULE library_ = nullptr;
  IPStore* store_ = nullptr;
  StyleFunction confirmationStyle_ = nullptr;
};

// The ItemBlock around a record: u32 1, u32 length, the record.
Bytes ItemBlock(const Bytes& record);

}  // namespace tvtest
