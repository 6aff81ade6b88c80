// BigNum values: byte-string conversion and bit access.
#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "bignum/bignum.h"
#include "bignum/limb_ops.h"

namespace tv::crypto {

BigNum::BigNum(BigNum&& other) noexcept
    : storage_(std::move(other.storage_)), size_(std::exchange(other.size_, 0)) {}

BigNum& BigNum::operator=(BigNum&& other) noexcept {
  if (this != &other) {
    storage_ = std::move(other.storage_);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

void BigNum::Clear() {
  storage_.Wipe();
  size_ = 0;
}

Limb* BigNum::Prepare(std::size_t count, Arithmetic& ar) {
  if (count > kMaxLimbs) {
    ar.Fail(ArithmeticError::TooLarge);
    return nullptr;
  }
  if (count > storage_.size() || storage_.data() == nullptr) {
    if (!storage_.Allocate(std::max<std::size_t>(count, 1), ar)) return nullptr;
  } else {
    storage_.Wipe();
  }
  size_ = count;
  return storage_.data();
}

void BigNum::Normalize() {
  while (size_ > 0 && storage_.data()[size_ - 1] == 0) --size_;
}

bool BigNum::SetLimbs(const Limb* source, std::size_t count, Arithmetic& ar) {
  BigNum value;
  Limb* out = value.Prepare(count, ar);
  if (out == nullptr) return false;
  std::memcpy(out, source, count * sizeof(Limb));
  value.Normalize();
  *this = std::move(value);
  return true;
}

bool BigNum::SetBytes(std::span<const std::uint8_t> bigEndian, Arithmetic& ar) {
  while (!bigEndian.empty() && bigEndian.front() == 0) bigEndian = bigEndian.subspan(1);
  if (bigEndian.size() > kMaxBits / 8) return ar.Fail(ArithmeticError::TooLarge);
  BigNum value;
  Limb* out = value.Prepare((bigEndian.size() + sizeof(Limb) - 1) / sizeof(Limb), ar);
  if (out == nullptr) return false;
  for (std::size_t i = 0; i < bigEndian.size(); ++i) {
    const std::size_t bytePos = bigEndian.size() - 1 - i;  // from the least significant
    out[bytePos / sizeof(Limb)] |= Limb{bigEndian[i]} << (8 * (bytePos % sizeof(Limb)));
  }
  value.Normalize();
  *this = std::move(value);
  return true;
}

bool BigNum::ToBytes(std::span<std::uint8_t> out) const {
  if (ByteLength() > out.size()) return false;
  const Limb* x = storage_.data();
  for (std::size_t bytePos = 0; bytePos < out.size(); ++bytePos) {
    const std::size_t limb = bytePos / sizeof(Limb);
    out[out.size() - 1 - bytePos] =
        limb < size_ ? static_cast<std::uint8_t>(x[limb] >> (8 * (bytePos % sizeof(Limb)))) : 0;
  }
  return true;
}

bool BigNum::SetWord(Limb value, Arithmetic& ar) { return SetLimbs(&value, 1, ar); }

bool BigNum::Assign(const BigNum& other, Arithmetic& ar) {
  return this == &other || SetLimbs(other.storage_.data(), other.size_, ar);
}

bool BigNum::SetBit(std::size_t index, Arithmetic& ar) {
  const std::size_t limb = index / kLimbBits;
  if (limb >= size_) {
    BigNum grown;
    Limb* out = grown.Prepare(limb + 1, ar);
    if (out == nullptr) return false;
    std::memcpy(out, storage_.data(), size_ * sizeof(Limb));
    *this = std::move(grown);
  }
  storage_.data()[limb] |= Limb{1} << (index % kLimbBits);
  return true;
}

bool BigNum::IsWord(Limb value) const {
  return value == 0 ? size_ == 0 : size_ == 1 && storage_.data()[0] == value;
}

bool BigNum::Bit(std::size_t index) const {
  const std::size_t limb = index / kLimbBits;
  return limb < size_ && ((storage_.data()[limb] >> (index % kLimbBits)) & 1) != 0;
}

std::size_t BigNum::BitLength() const {
  if (size_ == 0) return 0;
  return (size_ - 1) * kLimbBits + static_cast<std::size_t>(std::bit_width(storage_.data()[size_ - 1]));
}

int Compare(const BigNum& a, const BigNum& b) {
  const auto x = a.Limbs();
  const auto y = b.Limbs();
  if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
  return limbs::CompareN(x.data(), y.data(), x.size());
}

}  // namespace tv::crypto
