#include "certstore/cert_record.h"

#include <algorithm>

namespace tv::certstore {
namespace {

constexpr DWORD kRecordMarker = 300;

}  // namespace

DWORD ReadU32(const BYTE* p) {
  return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 | static_cast<DWORD>(p[2]) << 16 |
         static_cast<DWORD>(p[3]) << 24;
}

void WriteU32(BYTE* p, DWORD value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(value >> (8 * i));
}

RecordHeader ReadRecordHeader(const BYTE (&bytes)[kRecordHeaderLength]) {
  return {ReadU32(bytes), ReadU32(bytes + 4), ReadU32(bytes + 8), ReadU32(bytes + 16)};
}

DWORD CheckedRecordLength(const RecordHeader& header, DWORD room) {
  // Compared before adding, so that no field can wrap the sum.
  if (header.lengthAfter8 > kMaxRecordLength - 8) return 0;
  const DWORD length = header.lengthAfter8 + 8;
  if (length < kRecordOverhead || length > room) return 0;
  if (header.lengthAfter12 != length - 12) return 0;
  if (header.certificateLength > length - kRecordOverhead) return 0;
  return length;
}

std::optional<RecordView> ParseCertRecord(Bytes record) {
  if (record.size() < kRecordHeaderLength || record.size() > kMaxRecordLength) return std::nullopt;
  BYTE first[kRecordHeaderLength];
  std::copy_n(record.begin(), kRecordHeaderLength, first);
  const RecordHeader header = ReadRecordHeader(first);
  if (CheckedRecordLength(header, static_cast<DWORD>(record.size())) != record.size()) return std::nullopt;

  RecordView view;
  view.type = static_cast<StoreType>(header.storeType);
  const DWORD l = header.certificateLength;
  view.certificate = record.subspan(kRecordHeaderLength, l);
  const BYTE* hashProperty = record.data() + kRecordHeaderLength + l;
  if (ReadU32(hashProperty) != CERT_SHA1_HASH_PROP_ID || ReadU32(hashProperty + 4) != kHashLength)
    return std::nullopt;
  view.hash = record.subspan(kRecordHeaderLength + l + 8, kHashLength);

  const std::size_t tail = kRecordOverhead + l;
  if (view.type != StoreType::Personal) {
    if (record.size() != tail) return std::nullopt;
    return view;
  }
  if (record.size() < tail + kProvInfoPropertyHeader) return std::nullopt;
  const BYTE* provInfoProperty = record.data() + tail;
  if (ReadU32(provInfoProperty) != CERT_KEY_PROV_INFO_PROP_ID) return std::nullopt;
  const DWORD n = ReadU32(provInfoProperty + 4);
  if (n != record.size() - tail - kProvInfoPropertyHeader) return std::nullopt;
  view.provInfoBlob = record.subspan(tail + kProvInfoPropertyHeader, n);
  return view;
}

std::vector<BYTE> BuildCertRecord(StoreType type, Bytes certificate, Bytes hash, Bytes provInfoBlob) {
  const bool personal = type == StoreType::Personal;
  if (hash.size() != kHashLength || certificate.size() >= kCertificateTooLong ||
      provInfoBlob.size() > kMaxRecordLength)
    return {};
  const std::size_t length =
      kRecordOverhead + certificate.size() + (personal ? kProvInfoPropertyHeader + provInfoBlob.size() : 0);
  if (length > kMaxRecordLength) return {};

  std::vector<BYTE> record(length);
  BYTE* p = record.data();
  const auto l = static_cast<DWORD>(certificate.size());
  WriteU32(p, static_cast<DWORD>(type));
  WriteU32(p + 4, static_cast<DWORD>(length - 8));
  WriteU32(p + 8, static_cast<DWORD>(length - 12));
  WriteU32(p + 12, kRecordMarker);
  WriteU32(p + 16, l);
  std::copy(certificate.begin(), certificate.end(), p + kRecordHeaderLength);
  p += kRecordHeaderLength + l;
  WriteU32(p, CERT_SHA1_HASH_PROP_ID);
  WriteU32(p + 4, kHashLength);
  std::copy(hash.begin(), hash.end(), p + 8);
  if (personal) {
    p += kHashPropertyLength;
    WriteU32(p, CERT_KEY_PROV_INFO_PROP_ID);
    WriteU32(p + 4, static_cast<DWORD>(provInfoBlob.size()));
    std::copy(provInfoBlob.begin(), provInfoBlob.end(), p + kProvInfoPropertyHeader);
  }
  return record;
}

}  // namespace tv::certstore
