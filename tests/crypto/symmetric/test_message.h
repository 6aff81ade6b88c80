// Deterministic test input.
#pragma once
#include <cstdint>
#include <vector>

namespace tvtest {

// A message of `size` bytes that is not periodic in any block length.
inline std::vector<std::uint8_t> TestMessage(std::size_t size) {
  std::vector<std::uint8_t> message(size);
  std::uint32_t x = 0x12345678;
  for (auto& byte : message) {
    x = x * 1103515245 + 12345;
    byte = static_cast<std::uint8_t>(x >> 24);
  }
  return message;
}

}  // namespace tvtest
