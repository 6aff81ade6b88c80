// Little-endian writer and bounds-checked reader for the simulator's files.
// The reader never reads past its input: the first short read marks it failed
// and every later read yields zeros.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "standins/tvkey32/store/secret.h"

namespace tv::keysim {

class ByteWriter {
 public:
  void U8(std::uint8_t value);
  void U16(std::uint16_t value);
  void U32(std::uint32_t value);
  void Bytes(std::span<const std::uint8_t> bytes);
  // A 16-bit length, then the bytes.
  void Text(std::string_view text);
  // A 32-bit length, then the bytes.
  void Blob(std::span<const std::uint8_t> bytes);

  SecretBytes& Output() { return out_; }

 private:
  SecretBytes out_;
};

class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> in) : in_(in) {}

  std::uint8_t U8();
  std::uint16_t U16();
  std::uint32_t U32();
  // Copies exactly out.size() bytes.
  void Bytes(std::span<std::uint8_t> out);
  // Reads a Text() field of at most maxLength bytes.
  std::string Text(std::size_t maxLength);
  // Reads a Blob() field of at most maxLength bytes.
  SecretBytes Blob(std::size_t maxLength);

  bool Ok() const { return ok_; }
  bool AtEnd() const { return ok_ && pos_ == in_.size(); }

 private:
  // The next `count` bytes, or an empty span (and failure) when fewer remain.
  std::span<const std::uint8_t> Take(std::size_t count);

  std::span<const std::uint8_t> in_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace tv::keysim
