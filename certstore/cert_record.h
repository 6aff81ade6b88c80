// The certificate record as it is kept in the Key's certificate data area.
// Records lie back to back from offset 0; all integers are little-endian.
//
//   0  StoreType            16  L, length of the certificate
//   4  record length - 8    20  the certificate (DER)
//   8  record length - 12   20+L  3, 20, SHA-1 hash of the certificate
//  12  300                  48+L  personal only: 2, n, ProvInfoBlob of n bytes
//
// Every length read from the Key is checked here before anything is read
// behind it.
#pragma once
#include <windows.h>

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "certstore/store_types.h"

namespace tv::certstore {

inline constexpr DWORD kMaxRecordLength = 3000;  // one cache entry
inline constexpr DWORD kRecordHeaderLength = 20;
inline constexpr DWORD kHashLength = 20;
inline constexpr DWORD kHashPropertyLength = 8 + kHashLength;
inline constexpr DWORD kRecordOverhead = kRecordHeaderLength + kHashPropertyLength;  // 48
inline constexpr DWORD kProvInfoPropertyHeader = 8;
// A certificate of this length or more never fits a record.
inline constexpr DWORD kCertificateTooLong = kMaxRecordLength - kRecordOverhead + 1;  // 2953

using Bytes = std::span<const BYTE>;

// The first 20 bytes of a record.
struct RecordHeader {
  DWORD storeType = 0;
  DWORD lengthAfter8 = 0;
  DWORD lengthAfter12 = 0;
  DWORD certificateLength = 0;
};

RecordHeader ReadRecordHeader(const BYTE (&bytes)[kRecordHeaderLength]);

// The length of the record that starts with `header`, when its length fields
// agree with each other, hold at least an empty record and fit both `room`
// (the bytes left in the data area) and one cache entry; 0 otherwise.
DWORD CheckedRecordLength(const RecordHeader& header, DWORD room);

// The parts of a whole record, pointing into it.
struct RecordView {
  StoreType type = StoreType::Unknown;
  Bytes certificate;
  Bytes hash;
  Bytes provInfoBlob;  // personal records only
};

// The parts of `record`, when every length inside it agrees with the
// record's length (a personal record carries its key-provider property).
std::optional<RecordView> ParseCertRecord(Bytes record);

// A record for `certificate` with its SHA-1 `hash`, and for a personal
// record its ProvInfoBlob. Empty when the record would pass 3000 bytes.
std::vector<BYTE> BuildCertRecord(StoreType type, Bytes certificate, Bytes hash, Bytes provInfoBlob = {});

DWORD ReadU32(const BYTE* p);
void WriteU32(BYTE* p, DWORD value);

}  // namespace tv::certstore
