// CRC-32 (the polynomial of zip and PNG), used to detect damaged files.
#pragma once
#include <cstdint>
#include <span>

namespace tv::keysim {

std::uint32_t Crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);

}  // namespace tv::keysim
