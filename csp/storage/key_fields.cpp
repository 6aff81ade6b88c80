#include "csp/storage/key_fields.h"

#include <algorithm>
#include <cstring>

#include "csp/crypto/cpu/byte_order.h"
#include "csp/crypto/cpu/wipe.h"

namespace tv::csp {
namespace {

// A number after the exponent and the width of its field.
template <typename Number>
struct Field {
  Number* number;
  std::size_t width;
};

// The fields in their order; returns how many there are.
template <typename Key, typename Number>
std::size_t ListFields(Key& key, KeyFieldWidths widths, bool withPrivate, Field<Number> (&fields)[7]) {
  fields[0] = {&key.n, widths.modulus};
  if (!withPrivate) return 1;
  fields[1] = {&key.p, widths.half};
  fields[2] = {&key.q, widths.half};
  fields[3] = {&key.dp, widths.half};
  fields[4] = {&key.dq, widths.half};
  fields[5] = {&key.qinv, widths.half};
  fields[6] = {&key.d, widths.modulus};
  return 7;
}

bool ReadNumber(std::span<const std::uint8_t> littleEndian, crypto::BigNum& number, crypto::Arithmetic& ar) {
  crypto::WipingBuffer bigEndian(littleEndian.size());
  if (bigEndian.Size() != littleEndian.size()) return ar.Fail(crypto::ArithmeticError::OutOfMemory);
  std::reverse_copy(littleEndian.begin(), littleEndian.end(), bigEndian.Data());
  return number.SetBytes({bigEndian.Data(), bigEndian.Size()}, ar);
}

bool WriteNumber(const crypto::BigNum& number, std::span<std::uint8_t> field) {
  if (!number.ToBytes(field)) return false;
  std::reverse(field.begin(), field.end());
  return true;
}

}  // namespace

bool ReadKeyFields(std::span<const std::uint8_t> fields, KeyFieldWidths widths, bool withPrivate,
                   crypto::RsaKey& key, crypto::Arithmetic& ar) {
  if (fields.size() < KeyFieldsSize(widths, withPrivate)) return ar.Fail(crypto::ArithmeticError::InvalidArgument);
  if (!key.e.SetWord(crypto::LoadLittleEndian32(fields.data()), ar)) return false;
  for (crypto::BigNum* secret : {&key.d, &key.p, &key.q, &key.dp, &key.dq, &key.qinv}) secret->Clear();
  Field<crypto::BigNum> order[7];
  const std::size_t count = ListFields(key, widths, withPrivate, order);
  std::size_t offset = 4;
  for (std::size_t i = 0; i < count; ++i) {
    if (!ReadNumber(fields.subspan(offset, order[i].width), *order[i].number, ar)) return false;
    offset += order[i].width;
  }
  return true;
}

bool WriteKeyFields(const crypto::RsaKey& key, KeyFieldWidths widths, bool withPrivate,
                    std::span<std::uint8_t> out) {
  const std::size_t size = KeyFieldsSize(widths, withPrivate);
  if (out.size() < size || key.e.BitLength() > 32) return false;
  std::memset(out.data(), 0, size);
  std::uint8_t exponent[4];
  if (!key.e.ToBytes(exponent)) return false;
  crypto::StoreLittleEndian32(out.data(), crypto::LoadBigEndian32(exponent));
  Field<const crypto::BigNum> order[7];
  const std::size_t count = ListFields(key, widths, withPrivate, order);
  std::size_t offset = 4;
  for (std::size_t i = 0; i < count; ++i) {
    if (!WriteNumber(*order[i].number, out.subspan(offset, order[i].width))) {
      crypto::SecureWipe(out.data(), size);
      return false;
    }
    offset += order[i].width;
  }
  return true;
}

}  // namespace tv::csp
