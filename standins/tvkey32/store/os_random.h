// Random bytes from the operating system's generator.
#pragma once
#include <cstdint>
#include <span>

namespace tv::keysim {

// False when the generator failed; the buffer is then zero-filled.
bool FillRandom(std::span<std::uint8_t> out);

}  // namespace tv::keysim
