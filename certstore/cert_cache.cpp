#include "certstore/cert_cache.h"

#include <algorithm>

#include "common/trace_log.h"

namespace tv::certstore {

StoreType CacheEntry::Type() const {
  return record.size() >= 4 ? static_cast<StoreType>(ReadU32(record.data())) : StoreType::Unknown;
}

Bytes CacheEntry::Hash() const {
  const auto view = ParseCertRecord(record);
  return view ? view->hash : Bytes{};
}

void CertCache::ClearCache() {
  {
    std::lock_guard guard(lock_);
    entries_.clear();
    readAllowed_ = true;
  }
  WriteLog(LogTrace, "clear_cache:", "cache cleared");
}

std::size_t CertCache::Count() const {
  std::lock_guard guard(lock_);
  return entries_.size();
}

std::size_t CertCache::FreeEntries() const { return kCacheEntries - Count(); }

std::vector<CacheEntry> CertCache::EntriesOf(StoreType type) const {
  std::lock_guard guard(lock_);
  std::vector<CacheEntry> found;
  for (const CacheEntry& e : entries_)
    if (e.Type() == type) found.push_back(e);
  return found;
}

bool CertCache::HasConflict(const CacheEntry& record) const {
  const StoreType type = record.Type();
  const Bytes hash = record.Hash();
  std::lock_guard guard(lock_);
  return std::any_of(entries_.begin(), entries_.end(), [&](const CacheEntry& e) {
    if (e.Type() != type) return false;
    if (HoldsOneCertificate(type)) return true;
    const Bytes other = e.Hash();
    return std::equal(hash.begin(), hash.end(), other.begin(), other.end());
  });
}

bool CertCache::Add(const CacheEntry& entry) {
  std::lock_guard guard(lock_);
  if (entries_.size() >= kCacheEntries) return false;
  entries_.push_back(entry);
  return true;
}

bool CertCache::ReadAllowed() const {
  std::lock_guard guard(lock_);
  return readAllowed_;
}

void CertCache::SetReadAllowed(bool allowed) {
  std::lock_guard guard(lock_);
  readAllowed_ = allowed;
}

}  // namespace tv::certstore
