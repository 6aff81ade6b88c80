// Values written as a unit: what a batch wrote is put back unless it is
// committed.
#include "csp/storage/registry_value_batch.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "tests/support/isolation.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::optional<Bytes> Value(HKEY key, const char* name) {
  Bytes bytes(256);
  DWORD size = static_cast<DWORD>(bytes.size());
  if (RegQueryValueExA(key, name, nullptr, nullptr, bytes.data(), &size) != ERROR_SUCCESS) return std::nullopt;
  bytes.resize(size);
  return bytes;
}

TEST(RegistryValueBatch, UncommittedWritesAreUndoneAndCommittedOnesKept) {
  for (const bool commit : {false, true}) {
    SCOPED_TRACE(commit);
    tvtest::RegistrySandbox sandbox;
    const std::uint8_t before[2] = {1, 1};
    ASSERT_EQ(RegSetValueExA(sandbox.Key(), "present", 0, REG_BINARY, before, sizeof before), ERROR_SUCCESS);
    {
      tv::csp::RegistryValueBatch batch(sandbox.Key(), 64);
      const std::uint8_t after[3] = {2, 2, 2};
      ASSERT_TRUE(batch.Set("present", after));
      ASSERT_TRUE(batch.Set("absent", after));
      ASSERT_TRUE(batch.Set("present", {after, 1}));  // written twice: the first contents come back
      if (commit) batch.Commit();
    }
    const Bytes present = commit ? Bytes{2} : Bytes{1, 1};
    EXPECT_EQ(Value(sandbox.Key(), "present"), present);
    const std::optional<Bytes> absent = commit ? std::optional<Bytes>(Bytes{2, 2, 2}) : std::nullopt;
    EXPECT_EQ(Value(sandbox.Key(), "absent"), absent);
  }
}

TEST(RegistryValueBatch, UndoKeepsTheLastErrorOfTheFailure) {
  tvtest::RegistrySandbox sandbox;
  {
    tv::csp::RegistryValueBatch batch(sandbox.Key(), 64);
    const std::uint8_t byte = 3;
    ASSERT_TRUE(batch.Set("value", {&byte, 1}));
    SetLastError(ERROR_DISK_FULL);
  }
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(Value(sandbox.Key(), "value"), std::nullopt);
}

TEST(RegistryValueBatch, ValueLargerThanItCanRestoreIsNotReplaced) {
  tvtest::RegistrySandbox sandbox;
  const Bytes large(65, 4);
  ASSERT_EQ(RegSetValueExA(sandbox.Key(), "large", 0, REG_BINARY, large.data(), 65), ERROR_SUCCESS);
  tv::csp::RegistryValueBatch batch(sandbox.Key(), 64);
  const std::uint8_t byte = 5;
  EXPECT_FALSE(batch.Set("large", {&byte, 1}));
  EXPECT_EQ(Value(sandbox.Key(), "large"), large);
}

}  // namespace
