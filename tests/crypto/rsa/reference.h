// Test helpers for the multiprecision and RSA tests: libgcrypt numbers as
// the independent reference, reproducible random operands and a seeded
// random source.
#pragma once
#include <gcrypt.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "bignum/bignum.h"
#include "bignum/random_source.h"

namespace tvtest {

using Bytes = std::vector<std::uint8_t>;

// Initialises libgcrypt once (no secure memory: test data only).
void InitGcrypt();

// An owned libgcrypt number.
class Mpi {
 public:
  Mpi();
  explicit Mpi(std::span<const std::uint8_t> bigEndian);
  explicit Mpi(unsigned long value);
  Mpi(Mpi&& other) noexcept;
  Mpi& operator=(Mpi&& other) noexcept;
  Mpi(const Mpi&) = delete;
  Mpi& operator=(const Mpi&) = delete;
  ~Mpi();

  gcry_mpi_t get() const { return value_; }
  Bytes ToBytes() const;  // big-endian, no leading zeros, empty for zero

 private:
  gcry_mpi_t value_;
};

// Big-endian bytes of a BigNum without leading zeros.
Bytes ToBytes(const tv::crypto::BigNum& number);
// A BigNum from bytes (a test failure when they are refused).
tv::crypto::BigNum FromBytes(std::span<const std::uint8_t> bigEndian);
Mpi ToMpi(const tv::crypto::BigNum& number);

// Reproducible operands. "Edgy" ones are built from limbs that stress
// carries and quotient estimates (0, 1, all ones, lone top bits).
class OperandSource {
 public:
  explicit OperandSource(std::uint64_t seed) : engine_(seed) {}
  // A number of exactly `bits` bits (its top bit set; 0 bits gives zero).
  Bytes Number(std::size_t bits, bool edgy = false);
  // An odd number of exactly `bits` bits (bits >= 1).
  Bytes OddNumber(std::size_t bits, bool edgy = false);
  std::uint64_t Next() { return engine_(); }

 private:
  std::mt19937_64 engine_;
};

// A seeded tv::crypto::RandomSource; it can be told to fail.
class SeededRandom final : public tv::crypto::RandomSource {
 public:
  explicit SeededRandom(std::uint64_t seed) : engine_(seed) {}
  bool Fill(std::span<std::uint8_t> out) override;
  bool failing = false;

 private:
  std::mt19937_64 engine_;
};

}  // namespace tvtest
