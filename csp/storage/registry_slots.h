// The four key records of a registry container ("EPbK", "EPvK", "SPvK",
// "SPbK" for slots 0 to 3) and the exportable flags beside them ("EExport"
// for slots 0 and 1, "SExport" for 2 and 3).
//
// Each record is stored encrypted with the container's keystream
// (protection_stream.h) from the position that follows the stored records
// of all lower slots. A write that changes a record's length therefore
// moves the records above it; they are re-encrypted at their new positions
// in the same write, so every stored record stays readable.
#pragma once
#include <windows.h>

#include <cstdint>
#include <span>

#include "csp/storage/protection_stream.h"
#include "csp/storage/storage.h"

namespace tv::csp {

// ReadKeyContainer on an open container key. A buffer shorter than the
// record fails with ERROR_MORE_DATA and the needed size in *length.
bool ReadRegistrySlot(HKEY container, ProtectionKey key, RecordSlot slot, std::uint8_t* exportable,
                      std::uint8_t* buffer, DWORD* length);

// WriteKeyContainer on an open container key. Either every value it
// touches is written, or the failure puts back what they held before.
bool WriteRegistrySlot(HKEY container, ProtectionKey key, RecordSlot slot, std::uint8_t exportable,
                       std::span<const std::uint8_t> record);

}  // namespace tv::csp
