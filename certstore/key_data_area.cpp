#include "certstore/key_data_area.h"

#include "common/trace_log.h"

namespace tv::certstore {
namespace {

constexpr const char* kParseLabel = "parse_cert_from_card";

bool ReadAt(const token::TokenLibrary& key, int reader, DWORD offset, BYTE* buffer, DWORD length) {
  DWORD read = length;
  return key.ReadData(reader, offset, buffer, &read) && read == length;
}

}  // namespace

bool OccupiedSize(const token::TokenLibrary& key, int reader, DWORD* size) {
  *size = 0;
  return key.ReadData(reader, 0, nullptr, size) != FALSE;
}

bool WriteRecordAt(const token::TokenLibrary& key, int reader, DWORD offset, Bytes record) {
  DWORD length = static_cast<DWORD>(record.size());
  return key.WriteData(reader, offset, record.data(), &length) != FALSE;
}

bool ReadCertRecords(const token::TokenLibrary& key, int reader, StoreType type, std::size_t room,
                     KeyRecords& found) {
  const char* name = key.GetReaderName(reader);
  found.readerName = name ? name : "";
  DWORD size = 0;
  if (!OccupiedSize(key, reader, &size)) {
    WriteLog(LogError, "  extract_certs:", "reading card_size");
    return false;
  }
  if (size == 0) {
    WriteLog(LogTrace, "  extract_certs:", "empty card found - exiting");
    found.empty = true;
    return true;
  }
  for (DWORD offset = 0; offset < size;) {
    BYTE first[kRecordHeaderLength];
    if (size - offset < kRecordHeaderLength) {
      WriteLog(LogError, kParseLabel, "record header cut at %u of %u", static_cast<unsigned>(offset),
               static_cast<unsigned>(size));
      break;
    }
    if (!ReadAt(key, reader, offset, first, kRecordHeaderLength)) {
      WriteLog(LogError, kParseLabel, "reading first part of the cert_blob %08X", static_cast<unsigned>(GetLastError()));
      return false;
    }
    const RecordHeader header = ReadRecordHeader(first);
    const DWORD length = CheckedRecordLength(header, size - offset);
    if (length == 0) {
      WriteLog(LogError, kParseLabel, "impossible record lengths at %u: %u, %u, %u", static_cast<unsigned>(offset),
               static_cast<unsigned>(header.lengthAfter8), static_cast<unsigned>(header.lengthAfter12),
               static_cast<unsigned>(header.certificateLength));
      break;
    }
    if (static_cast<StoreType>(header.storeType) == type) {
      if (found.records.size() >= room) {
        WriteLog(LogWarning, kParseLabel, "certificate cache is full");
        break;
      }
      std::vector<BYTE> record(first, first + kRecordHeaderLength);
      record.resize(length);
      if (!ReadAt(key, reader, offset + kRecordHeaderLength, record.data() + kRecordHeaderLength,
                  length - kRecordHeaderLength)) {
        WriteLog(LogError, kParseLabel, "reading cert blob body %08X", static_cast<unsigned>(GetLastError()));
        return false;
      }
      if (!ParseCertRecord(record)) {
        WriteLog(LogError, kParseLabel, "record at %u does not hold together", static_cast<unsigned>(offset));
        break;
      }
      found.records.push_back(std::move(record));
      if (HoldsOneCertificate(type)) break;
    }
    offset += length;
  }
  return true;
}

}  // namespace tv::certstore
