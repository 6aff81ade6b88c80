// Byte strings for tests: recognisable patterns, joining and cutting.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

namespace tvtest {

using Bytes = std::vector<std::uint8_t>;

// `length` bytes counting up from `start`: a plaintext easy to recognise.
inline Bytes Sequence(std::size_t length, std::uint8_t start = 0) {
  Bytes bytes(length);
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(start + i);
  return bytes;
}

inline Bytes Concat(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  Bytes joined(a.size() + b.size());
  std::copy(a.begin(), a.end(), joined.begin());
  std::copy(b.begin(), b.end(), joined.begin() + static_cast<std::ptrdiff_t>(a.size()));
  return joined;
}

inline Bytes Concat(std::span<const std::uint8_t> a, std::initializer_list<std::uint8_t> b) {
  return Concat(a, std::span<const std::uint8_t>(b.begin(), b.size()));
}

// `count` bytes from offset `from`; the caller keeps within `bytes`.
inline Bytes Slice(std::span<const std::uint8_t> bytes, std::size_t from, std::size_t count) {
  const auto part = bytes.subspan(from, count);
  return Bytes(part.begin(), part.end());
}

}  // namespace tvtest
