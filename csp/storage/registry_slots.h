// The key records a software container keeps in its registry key and the
// exportable flags beside them ("EExport" for slots 0 and 1, "SExport" for
// 2 and 3). The registry backend keeps all four records there ("EPbK",
// "EPvK", "SPvK", "SPbK" for slots 0 to 3); the Protected Storage backend
// only the public ones ("EPbK", "SPbK").
//
// Each record is stored encrypted with the container's keystream
// (protection_stream.h) from the position that follows the stored records
// of all lower slots kept in the key. A write that changes a record's
// length therefore moves the records above it; they are re-encrypted at
// their new positions in the same write, so every stored record stays
// readable.
#pragma once
#include <windows.h>

#include <cstdint>
#include <span>

#include "csp/storage/protection_stream.h"
#include "csp/storage/storage.h"

namespace tv::csp {

// The value that keeps each slot's record; null for a slot kept elsewhere,
// which takes no keystream.
struct SlotValueNames {
  const char* names[4];
};
inline constexpr SlotValueNames kRegistrySlotValues = {{"EPbK", "EPvK", "SPvK", "SPbK"}};
inline constexpr SlotValueNames kPublicSlotValues = {{"EPbK", nullptr, nullptr, "SPbK"}};

// ReadKeyContainer on an open container key. A buffer shorter than the
// record fails with ERROR_MORE_DATA and the needed size in *length.
bool ReadRegistrySlot(HKEY container, ProtectionKey key, RecordSlot slot, std::uint8_t* exportable,
                      std::uint8_t* buffer, DWORD* length, const SlotValueNames& values = kRegistrySlotValues);

// WriteKeyContainer on an open container key. Either every value it
// touches is written, or the failure puts back what they held before.
bool WriteRegistrySlot(HKEY container, ProtectionKey key, RecordSlot slot, std::uint8_t exportable,
                       std::span<const std::uint8_t> record, const SlotValueNames& values = kRegistrySlotValues);

// "EExport" for the exchange pair's slots, "SExport" for the signature's.
const char* ExportFlagName(RecordSlot slot);
// The exportable flag of a slot's pair; a missing or malformed flag fails
// with NTE_KEYSET_ENTRY_BAD.
bool ReadExportFlag(HKEY container, RecordSlot slot, std::uint8_t& flag);

}  // namespace tv::csp
