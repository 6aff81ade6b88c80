// The certificates of the Key already read or written in this process, so
// that a store opened again is filled without touching the Key. Shared by
// the application's threads and the monitor thread (which clears it when the
// Key is removed): every access holds the cache's lock, and callers work on
// copies, never holding the lock while they reach the Key or CryptoAPI.
#pragma once
#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "certstore/cert_record.h"

namespace tv::certstore {

inline constexpr std::size_t kCacheEntries = 10;
inline constexpr std::size_t kFriendlyNameLength = 127;  // characters

struct CacheEntry {
  std::vector<BYTE> record;   // a record that ParseCertRecord accepts
  std::wstring friendlyName;  // "common name - reader name", or empty
  StoreType Type() const;
  Bytes Hash() const;
};

class CertCache {
 public:
  // Forgets every entry and allows the next open to read the Key.
  void ClearCache();
  std::size_t Count() const;
  std::size_t FreeEntries() const;

  // Copies of the entries holding `type`, in the order they were added.
  std::vector<CacheEntry> EntriesOf(StoreType type) const;
  // Whether an entry already stands for `record`: one of the same type when
  // that type holds one certificate, else one with the same hash.
  bool HasConflict(const CacheEntry& record) const;
  // Adds a copy of `entry`; false when the cache is full.
  bool Add(const CacheEntry& entry);

  // Whether a store that finds nothing of its type here may read the Key:
  // false after a read found the Key empty, until a write, a delete or a
  // removal of the Key.
  bool ReadAllowed() const;
  void SetReadAllowed(bool allowed);

 private:
  mutable std::mutex lock_;
  std::vector<CacheEntry> entries_;
  bool readAllowed_ = true;
};

}  // namespace tv::certstore
