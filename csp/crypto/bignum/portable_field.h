// The portable Montgomery arithmetic as a field of the exponentiation
// schedules (pow_schedule.h).
#pragma once
#include <cstddef>

#include "bignum/montgomery.h"

namespace tv::crypto::detail {

class PortableField {
 public:
  using Word = Limb;
  explicit PortableField(const Montgomery& m) : m_(m) {}
  std::size_t Words() const { return m_.size(); }
  void Mul(Limb* r, const Limb* a, const Limb* b) const { m_.Mul(r, a, b); }
  void Square(Limb* r, const Limb* a) const { m_.Square(r, a); }
  void One(Limb* r) const { m_.One(r); }
  void LookUp(Limb* out, const Limb* table, std::size_t entries, Limb index) const;

 private:
  const Montgomery& m_;
};

}  // namespace tv::crypto::detail
