// Binding of the password cache library.
#include "csp/storage/password_cache.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/isolation.h"

namespace {

using tv::csp::BindPasswordCache;
using tv::csp::PasswordCacheBinding;

TEST(PasswordCacheBinding, BindsTheSystemLibrary) {
  PasswordCacheBinding binding;
  ASSERT_TRUE(BindPasswordCache("mpr.dll", binding));
  EXPECT_NE(binding.get, nullptr);
  EXPECT_NE(binding.cache, nullptr);
  EXPECT_NE(binding.remove, nullptr);
  FreeLibrary(binding.library);
}

// mpr_incomplete.dll exports all but WNetGetCachedPassword.
TEST(PasswordCacheBinding, LibraryLackingAFunctionIsRefusedAndUnloaded) {
  const std::string incomplete = tvtest::ProgramDirectory() + "\\mpr_incomplete.dll";
  ASSERT_EQ(GetFileAttributesA(incomplete.c_str()) == INVALID_FILE_ATTRIBUTES, false) << incomplete;
  PasswordCacheBinding binding;
  EXPECT_FALSE(BindPasswordCache(incomplete.c_str(), binding));
  EXPECT_NE(GetLastError(), 0u);
  EXPECT_EQ(GetModuleHandleA(incomplete.c_str()), nullptr);
  EXPECT_EQ(binding.library, nullptr);
}

TEST(PasswordCacheBinding, MissingLibraryIsRefused) {
  PasswordCacheBinding binding;
  EXPECT_FALSE(BindPasswordCache("tv_no_such_library.dll", binding));
  EXPECT_EQ(binding.library, nullptr);
}

}  // namespace
