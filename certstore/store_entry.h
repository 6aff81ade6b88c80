// A cached certificate as CryptoAPI sees it: its friendly name and its
// place in a certificate store, with the key-provider information of a
// personal certificate.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "certstore/cert_cache.h"

namespace tv::certstore {

// "common name - reader name", when it fits in 127 characters; else empty.
std::wstring FriendlyName(PCCERT_CONTEXT certificate, const std::string& readerName);

// A cache entry for `record` (a record that ParseCertRecord accepts) read
// from or written to the Key in `readerName`.
CacheEntry MakeCacheEntry(std::vector<BYTE> record, const std::string& readerName);

// Adds the entry's certificate to `store` (replacing an equal one) with its
// friendly name, and for a personal certificate its key-provider
// information. False (traced) when any step fails.
bool AddEntryToStore(HCERTSTORE store, const CacheEntry& entry);

}  // namespace tv::certstore
