#include "standins/tvkey32/store/byte_codec.h"

#include <algorithm>
#include <cstring>

namespace tv::keysim {

void ByteWriter::U8(std::uint8_t value) { Bytes({&value, 1}); }

void ByteWriter::Bytes(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  const std::size_t at = out_.size();
  out_.resize(at + bytes.size());
  memcpy(out_.data() + at, bytes.data(), bytes.size());
}

void ByteWriter::U16(std::uint16_t value) {
  U8(static_cast<std::uint8_t>(value));
  U8(static_cast<std::uint8_t>(value >> 8));
}

void ByteWriter::U32(std::uint32_t value) {
  U16(static_cast<std::uint16_t>(value));
  U16(static_cast<std::uint16_t>(value >> 16));
}

void ByteWriter::Text(std::string_view text) {
  U16(static_cast<std::uint16_t>(text.size()));
  Bytes({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

void ByteWriter::Blob(std::span<const std::uint8_t> bytes) {
  U32(static_cast<std::uint32_t>(bytes.size()));
  Bytes(bytes);
}

std::span<const std::uint8_t> ByteReader::Take(std::size_t count) {
  if (!ok_ || in_.size() - pos_ < count) {
    ok_ = false;
    return {};
  }
  const auto part = in_.subspan(pos_, count);
  pos_ += count;
  return part;
}

std::uint8_t ByteReader::U8() {
  const auto b = Take(1);
  return b.empty() ? 0 : b[0];
}

std::uint16_t ByteReader::U16() {
  const auto b = Take(2);
  return b.empty() ? 0 : static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::uint32_t ByteReader::U32() {
  const std::uint32_t low = U16();
  const std::uint32_t high = U16();
  return low | (high << 16);
}

void ByteReader::Bytes(std::span<std::uint8_t> out) {
  const auto b = Take(out.size());
  if (b.empty()) {
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    return;
  }
  std::copy(b.begin(), b.end(), out.begin());
}

std::string ByteReader::Text(std::size_t maxLength) {
  const std::size_t length = U16();
  if (length > maxLength) ok_ = false;
  const auto b = Take(length);
  return std::string(b.begin(), b.end());
}

SecretBytes ByteReader::Blob(std::size_t maxLength) {
  const std::size_t length = U32();
  if (length > maxLength) ok_ = false;
  const auto b = Take(length);
  return SecretBytes(b.begin(), b.end());
}

}  // namespace tv::keysim
