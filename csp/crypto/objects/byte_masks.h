// Comparisons that answer with a mask (all ones for true, zero for false)
// instead of a branch, so that code reading secret bytes, such as a
// decrypted padding block, takes the same path whatever the bytes are.
#pragma once
#include <cstddef>

namespace tv::csp::masks {

using Mask = std::size_t;

inline Mask FromBit(std::size_t bit) { return Mask{0} - bit; }  // bit is 0 or 1
inline Mask IsZero(std::size_t value) { return FromBit(((~value & (value - 1)) >> (sizeof(Mask) * 8 - 1)) & 1); }
inline Mask IsEqual(std::size_t a, std::size_t b) { return IsZero(a ^ b); }
// a < b for values below 2^(word bits - 1), which every length here is.
inline Mask IsLess(std::size_t a, std::size_t b) { return FromBit(((a - b) >> (sizeof(Mask) * 8 - 1)) & 1); }
inline std::size_t Select(Mask mask, std::size_t ifTrue, std::size_t ifFalse) {
  return (ifTrue & mask) | (ifFalse & ~mask);
}

}  // namespace tv::csp::masks
