// The envelope of every simulator file: a magic, a format version, the kind
// of record, the payload's length, the payload and a CRC-32 over all of it.
// A file that fails any check is damaged; a sound file of a later format
// version is reported as such, so that it is never mistaken for damage.
#pragma once
#include <cstdint>
#include <span>

#include "standins/tvkey32/store/secret.h"

namespace tv::keysim {

enum class RecordKind : std::uint16_t { Key = 1, ReaderSet = 2, FaultTable = 3 };

enum class RecordCheck { Sound, Damaged, UnknownVersion };

inline constexpr std::uint16_t kRecordFormatVersion = 1;

SecretBytes SealRecord(RecordKind kind, std::span<const std::uint8_t> payload);

// On Sound, `payload` receives the payload.
RecordCheck OpenRecord(std::span<const std::uint8_t> file, RecordKind kind, SecretBytes& payload);

}  // namespace tv::keysim
