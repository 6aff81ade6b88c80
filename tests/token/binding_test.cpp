// Binding of the token library by the reader manager: all 35 names are
// required, a failed binding leaves the object unbound with the loader's
// error, and a second Initialize keeps the first binding.
#include <gtest/gtest.h>

#include "tests/standins/simulator_fixture.h"
#include "tests/token/export_patch.h"
#include "tests/token/recording_owner.h"

namespace tvtest {
namespace {

using tv::token::kProviderSmartKey;
using tv::token::SmartKeyOptions;

SmartKeyOptions WithLibrary(const char* file) {
  SmartKeyOptions options = kProviderSmartKey;
  options.tokenLibrary = file;
  return options;
}

void ExpectUnbound(const RecordingOwner& owner) {
  EXPECT_FALSE(owner.IsInitialized());
  EXPECT_EQ(owner.Library().EnumReaders, nullptr);
  EXPECT_EQ(owner.Library().UnformatCard, nullptr);
  EXPECT_EQ(owner.ReaderNameAt(0), nullptr);
}

class BindingTest : public SimulatorTest {};

TEST_F(BindingTest, MissingLibraryFailsWithTheLoadersError) {
  RecordingOwner owner(WithLibrary("tvkey32_not_here.dll"));
  SetLastError(0);
  EXPECT_FALSE(owner.Initialize(kCspApplication));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  ExpectUnbound(owner);
}

TEST_F(BindingTest, LibraryLackingAnyOneNameIsRefused) {
  TempDir copies;
  const std::string original = ProgramDirectory() + "\\tvkey32.dll";
  for (const char* name : kTvkey32Names) {
    SCOPED_TRACE(name);
    const std::string copy = copies.File(std::string("tvkey32_without_") + name + ".dll");
    ASSERT_TRUE(CopyLackingExport(original, copy, name));
    {
      // The copy lacks exactly this name.
      HMODULE module = LoadLibraryA(copy.c_str());
      ASSERT_NE(module, nullptr);
      for (const char* other : kTvkey32Names)
        EXPECT_EQ(GetProcAddress(module, other) == nullptr, other == name) << other;
      FreeLibrary(module);
    }
    RecordingOwner owner(WithLibrary(copy.c_str()));
    SetLastError(0);
    EXPECT_FALSE(owner.Initialize(kCspApplication));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    ExpectUnbound(owner);
    EXPECT_EQ(GetModuleHandleA(copy.c_str()), nullptr) << "the refused library is freed";
  }
}

TEST_F(BindingTest, SecondInitializeFailsAndKeepsTheFirstBinding) {
  AddReader("R");
  RecordingOwner owner(kProviderSmartKey);
  ASSERT_TRUE(owner.Initialize(kCspApplication));
  const auto initCard = owner.Library().InitCard;
  ASSERT_NE(initCard, nullptr);

  SetLastError(0);
  EXPECT_FALSE(owner.Initialize(kStoreApplication));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_INITIALIZED));
  EXPECT_TRUE(owner.IsInitialized());
  EXPECT_EQ(owner.ApplicationId(), kCspApplication);
  EXPECT_EQ(owner.Library().InitCard, initCard);
  ASSERT_NE(owner.ReaderNameAt(0), nullptr);
  EXPECT_STREQ(owner.ReaderNameAt(0), "R");
}

TEST_F(BindingTest, FinalizeUnbindsAndAllowsANewInitialize) {
  AddReader("R");
  RecordingOwner owner(kProviderSmartKey);
  ASSERT_TRUE(owner.Initialize(kCspApplication));
  owner.Finalize();
  ExpectUnbound(owner);
  EXPECT_EQ(owner.ReaderCount(), 0u);
  ASSERT_TRUE(owner.Initialize(kStoreApplication));
  EXPECT_EQ(owner.ApplicationId(), kStoreApplication);
  EXPECT_STREQ(owner.ReaderNameAt(0), "R");
}

TEST_F(BindingTest, OnlyTheFirstReaderManagerOfTheProcessIsTheFirstInstance) {
  RecordingOwner first(kProviderSmartKey), second(kProviderSmartKey);
  ASSERT_TRUE(first.Initialize(kCspApplication));
  ASSERT_TRUE(second.Initialize(kCspApplication));
  EXPECT_TRUE(first.IsFirstInstance());
  EXPECT_FALSE(second.IsFirstInstance());
  first.Finalize();
  second.Finalize();
  ASSERT_TRUE(second.Initialize(kCspApplication));
  EXPECT_TRUE(second.IsFirstInstance()) << "the mark goes with the last manager that held it";
}

}  // namespace
}  // namespace tvtest
