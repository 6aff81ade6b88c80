// Enumeration of container keys, on a base key of the test's own.
#include "csp/storage/container_registry.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/support/isolation.h"

namespace {

using tv::csp::EnumerateContainers;

class EnumerationTest : public testing::Test {
 protected:
  tvtest::RegistrySandbox sandbox;
  std::string basePath = sandbox.SubKey() + "\\";
  tv::csp::ContainerLocation location{sandbox.Root(), basePath.c_str()};

  void AddContainerKey(const char* name) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(sandbox.Key(), name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
};

TEST_F(EnumerationTest, NullBufferAsksForTheLargestNameEvenWithoutContainers) {
  DWORD length = 0;
  EXPECT_TRUE(EnumerateContainers(location, 'R', 0, nullptr, &length));
  EXPECT_EQ(length, 261u);
}

TEST_F(EnumerationTest, ListsEachContainerKeyThenEnds) {
  AddContainerKey("alpha");
  AddContainerKey("second container");
  std::set<std::string> names;
  char buffer[261];
  for (std::int16_t index = 0; index < 2; ++index) {
    DWORD length = sizeof buffer;
    ASSERT_TRUE(EnumerateContainers(location, 'R', index, buffer, &length));
    EXPECT_EQ(length, strlen(buffer) + 1);
    names.insert(buffer);
  }
  EXPECT_EQ(names, (std::set<std::string>{"alpha", "second container"}));
  for (std::int16_t pastTheEnd : {2, -1}) {
    DWORD length = sizeof buffer;
    EXPECT_FALSE(EnumerateContainers(location, 'R', pastTheEnd, buffer, &length));
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  }
}

// A short buffer must not look like the end of the list.
TEST_F(EnumerationTest, ShortBufferLeavesTheSizeThatSuffices) {
  AddContainerKey("a-rather-long-container-name");
  char buffer[8];
  DWORD length = sizeof buffer;
  EXPECT_FALSE(EnumerateContainers(location, 'R', 0, buffer, &length));
  EXPECT_EQ(length, 261u);
}

TEST_F(EnumerationTest, MissingBaseKeyFailsAtOnce) {
  const std::string missing = basePath + "missing\\";
  const tv::csp::ContainerLocation nowhere{sandbox.Root(), missing.c_str()};
  char buffer[261];
  for (char* name : {static_cast<char*>(nullptr), buffer}) {
    DWORD length = sizeof buffer;
    EXPECT_FALSE(EnumerateContainers(nowhere, 'R', 0, name, &length));
    EXPECT_EQ(length, 0u);
    EXPECT_NE(GetLastError(), 0u);
  }
}

}  // namespace
