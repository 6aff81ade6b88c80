// Loads and stores of integers in a fixed byte order from unaligned bytes.
// The targets (x86 and x86-64) are little-endian.
#pragma once
#include <bit>
#include <cstdint>
#include <cstring>

namespace tv::crypto {

static_assert(std::endian::native == std::endian::little, "little-endian targets only");

inline std::uint16_t LoadLittleEndian16(const std::uint8_t* p) {
  std::uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline std::uint32_t LoadLittleEndian32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void StoreLittleEndian32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, sizeof v); }

inline std::uint64_t LoadLittleEndian64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void StoreLittleEndian64(std::uint8_t* p, std::uint64_t v) { std::memcpy(p, &v, sizeof v); }

inline std::uint32_t LoadBigEndian32(const std::uint8_t* p) {
  return __builtin_bswap32(LoadLittleEndian32(p));
}
inline void StoreBigEndian32(std::uint8_t* p, std::uint32_t v) {
  StoreLittleEndian32(p, __builtin_bswap32(v));
}

inline std::uint64_t LoadBigEndian64(const std::uint8_t* p) {
  return __builtin_bswap64(LoadLittleEndian64(p));
}
inline void StoreBigEndian64(std::uint8_t* p, std::uint64_t v) {
  StoreLittleEndian64(p, __builtin_bswap64(v));
}

}  // namespace tv::crypto
