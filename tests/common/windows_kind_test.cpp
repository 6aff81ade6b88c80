#include <gtest/gtest.h>

#include <string>

#include "common/windows_kind.h"

namespace {

TEST(WindowsKind, VersionsMapToTheirNames) {
  const struct {
    unsigned platform, major, minor;
    const char* name;
  } cases[] = {
      {1, 4, 0, "Windows 95"},   {1, 4, 10, "Windows 98"},  {1, 4, 90, "Windows ME"},
      {1, 4, 3, "Windows NT"},   {1, 3, 51, "Windows NT"},  {2, 4, 0, "Windows NT"},
      {2, 3, 51, "Windows NT"},  {1, 5, 0, "Windows 2000"}, {2, 5, 0, "Windows 2000"},
      {2, 5, 1, "Windows XP"},   {2, 5, 2, "Windows 2003"},
      {2, 6, 0, "Windows Vista code name \"Longhorn\""},
      {2, 6, 1, "Unknown"},      {2, 10, 0, "Unknown"},     {0, 3, 10, "Unknown"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(std::string(tv::WindowsKindName(tv::WindowsKindOf(c.platform, c.major, c.minor))), c.name)
        << c.platform << " " << c.major << "." << c.minor;
}

TEST(WindowsKind, OutOfRangeKindIsUnknown) {
  EXPECT_STREQ(tv::WindowsKindName(9), "Unknown");
  EXPECT_STREQ(tv::WindowsKindName(-1), "Unknown");
}

}  // namespace
