// Limb storage on a wiping buffer.
#include <utility>

#include "bignum/bignum.h"

namespace tv::crypto {

bool LimbBuffer::Allocate(std::size_t count, Arithmetic& ar) {
  WipingBuffer fresh(count * sizeof(Limb));
  if (fresh.Data() == nullptr) return ar.Fail(ArithmeticError::OutOfMemory);
  bytes_ = std::move(fresh);
  return true;
}

}  // namespace tv::crypto
