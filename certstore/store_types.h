// The three system stores in which the provider shows the Key's
// certificates, and the kind of certificate each one holds.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <array>

namespace tv::certstore {

// Kept on the Key in every certificate record.
enum class StoreType : DWORD { Unknown = 0, Personal = 1, Intermediate = 2, Root = 3 };

// A store that holds one certificate at most (the personal and the root).
inline bool HoldsOneCertificate(StoreType t) { return t == StoreType::Personal || t == StoreType::Root; }

// One row of the physical store table: where the physical store "tvcstore"
// goes, and the open parameter CryptoAPI hands to the open-store function.
struct PhysicalStore {
  const wchar_t* systemStore;
  DWORD location;
  const char* openParameter;
  StoreType type;
};

inline constexpr std::array<PhysicalStore, 3> kPhysicalStoreTable{{
    {L"MY", CERT_SYSTEM_STORE_CURRENT_USER, "TV_MY", StoreType::Personal},
    {L"CA", CERT_SYSTEM_STORE_LOCAL_MACHINE, "TV_HKLM_CA", StoreType::Intermediate},
    {L"Root", CERT_SYSTEM_STORE_LOCAL_MACHINE, "TV_HKLM_ROOT", StoreType::Root},
}};

inline constexpr const char* kProviderName = "tvcstore";
inline constexpr const wchar_t* kPhysicalStoreName = L"tvcstore";

// The type whose open parameter equals `openParameter` exactly; Unknown for
// none (and for null).
StoreType StoreTypeOf(const char* openParameter);
// The open parameter of `t`, or "UNKNOWN" (for trace lines).
const char* StoreTypeName(StoreType t);

}  // namespace tv::certstore
