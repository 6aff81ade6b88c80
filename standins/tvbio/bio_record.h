// The biometric record of this stand-in: the finger phrase typed in the
// dialog stands for the sample. Record: "TVB1", a 16-byte random salt, then
// SHA-256 over the salt followed by the phrase (52 bytes).
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "standins/tvkey32/store/secret.h"

namespace tv::bio {

inline constexpr std::size_t kRecordSize = 52;

// nullopt when the operating system's generator fails.
std::optional<keysim::SecretBytes> MakeRecord(std::string_view phrase);

// Whether the bytes have this library's record form.
bool IsRecord(std::span<const std::uint8_t> record);

enum class RecordMatch { Match, Mismatch, Malformed };

RecordMatch MatchRecord(std::span<const std::uint8_t> record, std::string_view phrase);

}  // namespace tv::bio
