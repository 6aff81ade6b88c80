// Writes an operation's result the way rsa.h describes it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "bignum/bignum.h"

namespace tv::crypto {

inline bool WriteRsaResult(const BigNum& result, std::span<std::uint8_t> output,
                           std::size_t& outputLength, Arithmetic& ar) {
  const std::size_t length = result.ByteLength();
  if (length > output.size()) return ar.Fail(ArithmeticError::InvalidArgument);
  result.ToBytes(output.first(length));
  outputLength = length;
  return true;
}

}  // namespace tv::crypto
