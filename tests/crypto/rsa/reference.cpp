#include "reference.h"

#include <gtest/gtest.h>

#include <utility>

namespace tvtest {

void InitGcrypt() {
  static const bool initialised = [] {
    gcry_check_version(GCRYPT_VERSION);
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
  }();
  (void)initialised;
}

Mpi::Mpi() : value_(gcry_mpi_new(0)) {}

Mpi::Mpi(std::span<const std::uint8_t> bigEndian) : value_(nullptr) {
  const gcry_error_t error =
      gcry_mpi_scan(&value_, GCRYMPI_FMT_USG, bigEndian.data(), bigEndian.size(), nullptr);
  EXPECT_EQ(error, 0u);
}

Mpi::Mpi(unsigned long value) : value_(gcry_mpi_set_ui(nullptr, value)) {}

Mpi::Mpi(Mpi&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}

Mpi& Mpi::operator=(Mpi&& other) noexcept {
  std::swap(value_, other.value_);
  return *this;
}

Mpi::~Mpi() { gcry_mpi_release(value_); }

Bytes Mpi::ToBytes() const {
  const std::size_t bytes = (gcry_mpi_get_nbits(value_) + 7) / 8;
  Bytes out(bytes);
  std::size_t written = 0;
  if (bytes != 0) {
    EXPECT_EQ(gcry_mpi_print(GCRYMPI_FMT_USG, out.data(), out.size(), &written, value_), 0u);
  }
  out.resize(written);
  return out;
}

Bytes ToBytes(const tv::crypto::BigNum& number) {
  Bytes out(number.ByteLength());
  EXPECT_TRUE(number.ToBytes(out));
  return out;
}

tv::crypto::BigNum FromBytes(std::span<const std::uint8_t> bigEndian) {
  tv::crypto::Arithmetic ar;
  tv::crypto::BigNum number;
  EXPECT_TRUE(number.SetBytes(bigEndian, ar));
  return number;
}

Mpi ToMpi(const tv::crypto::BigNum& number) { return Mpi(ToBytes(number)); }

Bytes OperandSource::Number(std::size_t bits, bool edgy) {
  Bytes out((bits + 7) / 8);
  for (std::size_t i = 0; i < out.size(); i += 8) {
    std::uint64_t word = engine_();
    if (edgy) {
      static constexpr std::uint64_t kEdges[] = {0, 1, ~0ull, 1ull << 63, ~0ull >> 1,
                                                 0xFFFFFFFF00000000ull, 0x00000000FFFFFFFFull};
      const std::uint64_t pick = engine_() % 10;
      if (pick < std::size(kEdges)) word = kEdges[pick];
    }
    for (std::size_t b = 0; b < 8 && i + b < out.size(); ++b) {
      out[i + b] = static_cast<std::uint8_t>(word >> (8 * b));
    }
  }
  if (bits == 0) return out;
  const unsigned topBits = static_cast<unsigned>((bits - 1) % 8 + 1);
  out[0] = static_cast<std::uint8_t>((out[0] & ((1u << topBits) - 1)) | (1u << (topBits - 1)));
  return out;
}

Bytes OperandSource::OddNumber(std::size_t bits, bool edgy) {
  Bytes out = Number(bits, edgy);
  out.back() |= 1;
  return out;
}

bool SeededRandom::Fill(std::span<std::uint8_t> out) {
  if (failing) return false;
  for (std::uint8_t& byte : out) byte = static_cast<std::uint8_t>(engine_());
  return true;
}

}  // namespace tvtest
