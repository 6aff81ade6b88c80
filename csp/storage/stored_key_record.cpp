#include "csp/storage/stored_key_record.h"

#include <algorithm>

#include "csp/crypto/cpu/byte_order.h"
#include "csp/storage/key_fields.h"

namespace tv::csp {
namespace {

constexpr std::size_t kHeaderSize = 16;

}  // namespace

bool EncodeStoredKeyRecord(const crypto::RsaKey& key, std::uint32_t bits, bool withPrivate,
                           std::span<std::uint8_t> out) {
  const std::size_t size = StoredKeyRecordSize(bits, withPrivate);
  if (size == 0 || out.size() < size || key.n.BitLength() > bits) return false;
  const std::size_t n = StoredKeyFieldLength(bits);
  std::uint8_t* header = out.data();
  crypto::StoreLittleEndian32(header, withPrivate ? kPrivateKeyRecordMagic : kPublicKeyRecordMagic);
  crypto::StoreLittleEndian32(header + 4, static_cast<std::uint32_t>(n));
  crypto::StoreLittleEndian32(header + 8, bits);
  crypto::StoreLittleEndian32(header + 12, bits / 8 - 1);
  // The fields zero-fill all but the private record's last n / 2 bytes.
  const std::span<std::uint8_t> body = out.subspan(kHeaderSize, size - kHeaderSize);
  std::fill(body.begin(), body.end(), 0);
  return WriteKeyFields(key, StoredRecordWidths(n), withPrivate, body);
}

bool DecodeStoredKeyRecord(std::span<const std::uint8_t> record, crypto::RsaKey& key, std::uint32_t& bits) {
  if (record.size() < kHeaderSize) return false;
  const std::uint32_t magic = crypto::LoadLittleEndian32(record.data());
  const std::uint32_t fieldLength = crypto::LoadLittleEndian32(record.data() + 4);
  bits = crypto::LoadLittleEndian32(record.data() + 8);
  if (magic != kPublicKeyRecordMagic && magic != kPrivateKeyRecordMagic) return false;
  const bool withPrivate = magic == kPrivateKeyRecordMagic;
  const std::size_t size = StoredKeyRecordSize(bits, withPrivate);
  if (size == 0 || fieldLength != StoredKeyFieldLength(bits) || record.size() < size) return false;
  crypto::Arithmetic ar;
  return ReadKeyFields(record.subspan(kHeaderSize), StoredRecordWidths(fieldLength), withPrivate, key, ar) &&
         key.n.BitLength() <= bits;
}

}  // namespace tv::csp
