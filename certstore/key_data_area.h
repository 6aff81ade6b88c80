// The certificate records in the data area of an opened Key (the token
// library's data-area operations on a reader handle whose card session is
// open for the certificate application).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "certstore/cert_record.h"
#include "token/token_library.h"

namespace tv::certstore {

struct KeyRecords {
  std::string readerName;
  bool empty = false;  // the data area holds nothing at all
  std::vector<std::vector<BYTE>> records;
};

// Reads the records of `type` into `found`, at most `room` of them and one
// for a store that holds one certificate. A record whose lengths are
// impossible ends the read (traced) with what was read before it. False
// (with the library's error) when the Key cannot be read.
bool ReadCertRecords(const token::TokenLibrary& key, int reader, StoreType type, std::size_t room,
                     KeyRecords& found);

// The used size of the data area in `*size`.
bool OccupiedSize(const token::TokenLibrary& key, int reader, DWORD* size);

// Writes `record` at `offset`.
bool WriteRecordAt(const token::TokenLibrary& key, int reader, DWORD offset, Bytes record);

}  // namespace tv::certstore
