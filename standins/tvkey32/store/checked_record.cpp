#include "standins/tvkey32/store/checked_record.h"

#include <utility>

#include "standins/tvkey32/store/byte_codec.h"
#include "standins/tvkey32/store/crc32.h"

namespace tv::keysim {
namespace {

constexpr std::uint32_t kMagic = 0x534B5654;  // "TVKS"
constexpr std::size_t kHeaderSize = 12;         // magic, version, kind, length
constexpr std::size_t kTrailerSize = 4;         // CRC-32

}  // namespace

SecretBytes SealRecord(RecordKind kind, std::span<const std::uint8_t> payload) {
  ByteWriter w;
  w.U32(kMagic);
  w.U16(kRecordFormatVersion);
  w.U16(static_cast<std::uint16_t>(kind));
  w.U32(static_cast<std::uint32_t>(payload.size()));
  w.Bytes(payload);
  w.U32(Crc32(w.Output()));
  return std::move(w.Output());
}

RecordCheck OpenRecord(std::span<const std::uint8_t> file, RecordKind kind, SecretBytes& payload) {
  if (file.size() < kHeaderSize + kTrailerSize) return RecordCheck::Damaged;
  ByteReader header(file.first(kHeaderSize));
  const std::uint32_t magic = header.U32();
  const std::uint16_t version = header.U16();
  const std::uint16_t fileKind = header.U16();
  const std::uint32_t length = header.U32();
  if (magic != kMagic || version == 0) return RecordCheck::Damaged;
  if (length != file.size() - kHeaderSize - kTrailerSize) return RecordCheck::Damaged;
  const auto sealed = file.first(file.size() - kTrailerSize);
  ByteReader trailer(file.last(kTrailerSize));
  if (trailer.U32() != Crc32(sealed)) return RecordCheck::Damaged;
  if (version > kRecordFormatVersion) return RecordCheck::UnknownVersion;
  if (fileKind != static_cast<std::uint16_t>(kind)) return RecordCheck::Damaged;
  const auto body = sealed.subspan(kHeaderSize);
  payload.assign(body.begin(), body.end());
  return RecordCheck::Sound;
}

}  // namespace tv::keysim
