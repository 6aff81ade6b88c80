// Which processes may use the Key's certificates, and the cache they share.
#include <gtest/gtest.h>

#include <thread>

#include "certstore/cert_cache.h"
#include "certstore/process_rules.h"
#include "certstore/store_types.h"

using namespace tv::certstore;

namespace {

// An environment with this command line and this "tv_cstore" section
// (entries separated by '|'; null: no section).
ProcessEnvironment Environment(const std::string& commandLine, const char* section,
                               const std::string& user = "alice") {
  ProcessEnvironment e;
  e.commandLine = [commandLine] { return commandLine; };
  e.readAllowList = [section](char* buffer, DWORD size) -> DWORD {
    if (!section) return 0;
    std::string entries = section;
    for (char& c : entries)
      if (c == '|') c = '\0';
    entries.push_back('\0');
    const DWORD n = static_cast<DWORD>(std::min<std::size_t>(entries.size(), size - 2));
    std::copy_n(entries.data(), n, buffer);
    return n - 1;
  };
  e.userName = [user]() -> std::optional<std::string> { return user; };
  return e;
}

TEST(ProcessRules, AllowListAndRegistrationTool) {
  struct Case {
    const char* commandLine;
    const char* section;
    bool ignored;
  };
  const Case cases[] = {
      {"C:\\app\\mail.exe", nullptr, true},
      {"regsvr32.exe tvcstore.dll", nullptr, false},
      {"C:\\WINDOWS\\System32\\REGSVR32.EXE /s tvcstore.dll", nullptr, false},
      {"rundll32.exe shell32.dll,Control_RunDLL C:\\x\\TVMOVER.CPL", "tvmover", false},
      {"C:\\app\\mail.exe", "tvmover|Mail.EXE", false},
      {"C:\\app\\mail.exe", "tvmover|browser", true},
      {"C:\\app\\mail.exe", "", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsIgnoredProcess(Environment(c.commandLine, c.section)), c.ignored)
        << c.commandLine << " with " << (c.section ? c.section : "(no section)");
}

TEST(ProcessRules, SectionTooLongToReadAllows) {
  ProcessEnvironment e = Environment("C:\\app\\mail.exe", nullptr);
  e.readAllowList = [](char* buffer, DWORD size) {
    std::fill_n(buffer, size - 2, 'x');
    return size - 2;
  };
  EXPECT_FALSE(IsIgnoredProcess(e));
}

TEST(ProcessRules, OnlyTheMigrationToolWritesAndOnlySystemIsRefusedByName) {
  EXPECT_TRUE(IsMigrationTool(Environment("rundll32.exe shell32.dll,Control_RunDLL TvMover.cpl", nullptr)));
  EXPECT_FALSE(IsMigrationTool(Environment("tvmover.exe", nullptr)));
  EXPECT_TRUE(IsSystemUser(Environment("x", nullptr, "SYSTEM")));
  EXPECT_FALSE(IsSystemUser(Environment("x", nullptr, "system")));
  EXPECT_FALSE(IsSystemUser(Environment("x", nullptr, "alice")));
}

TEST(StoreTypes, OpenParametersMatchExactly) {
  EXPECT_EQ(StoreTypeOf("TV_MY"), StoreType::Personal);
  EXPECT_EQ(StoreTypeOf("TV_HKLM_CA"), StoreType::Intermediate);
  EXPECT_EQ(StoreTypeOf("TV_HKLM_ROOT"), StoreType::Root);
  EXPECT_EQ(StoreTypeOf("tv_my"), StoreType::Unknown);
  EXPECT_EQ(StoreTypeOf(nullptr), StoreType::Unknown);
  EXPECT_STREQ(StoreTypeName(StoreType::Unknown), "UNKNOWN");
}

CacheEntry Entry(StoreType type, BYTE hashByte) {
  const std::vector<BYTE> certificate(100, 0x30), hash(20, hashByte);
  return {BuildCertRecord(type, certificate, hash), {}};
}

TEST(CertCache, HoldsTenEntries) {
  CertCache cache;
  for (BYTE i = 0; i < kCacheEntries; ++i) ASSERT_TRUE(cache.Add(Entry(StoreType::Intermediate, i)));
  EXPECT_FALSE(cache.Add(Entry(StoreType::Intermediate, 99)));
  EXPECT_EQ(cache.Count(), kCacheEntries);
  EXPECT_EQ(cache.FreeEntries(), 0u);
  cache.SetReadAllowed(false);
  cache.ClearCache();
  EXPECT_EQ(cache.Count(), 0u);
  EXPECT_TRUE(cache.ReadAllowed());
}

TEST(CertCache, ConflictsByTypeOrByHash) {
  CertCache cache;
  cache.Add(Entry(StoreType::Root, 1));
  cache.Add(Entry(StoreType::Intermediate, 2));
  EXPECT_TRUE(cache.HasConflict(Entry(StoreType::Root, 3)));
  EXPECT_TRUE(cache.HasConflict(Entry(StoreType::Intermediate, 2)));
  EXPECT_FALSE(cache.HasConflict(Entry(StoreType::Intermediate, 3)));
  EXPECT_EQ(cache.EntriesOf(StoreType::Intermediate).size(), 1u);
}

// Application threads fill the cache while the monitor clears it: the count
// never passes the bound and every entry read is whole.
TEST(CertCache, StaysWholeUnderConcurrentFillAndClear) {
  CertCache cache;
  std::atomic<bool> stop{false};
  std::thread clearer([&] {
    for (int i = 0; i < 2000; ++i) cache.ClearCache();
    stop = true;
  });
  std::vector<std::thread> fillers;
  for (int t = 0; t < 2; ++t)
    fillers.emplace_back([&, t] {
      while (!stop) {
        cache.Add(Entry(StoreType::Intermediate, static_cast<BYTE>(t)));
        for (const CacheEntry& e : cache.EntriesOf(StoreType::Intermediate)) ASSERT_EQ(e.record.size(), 148u);
        ASSERT_LE(cache.Count(), kCacheEntries);
      }
    });
  clearer.join();
  for (auto& f : fillers) f.join();
}

}  // namespace
