// tvkey32.dll as bound by the system: the 35 names, the readers it reports,
// reader handles, names and types, and AnyReadersChanges.
#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "standins/tvkey32/store/card_errors.h"
#include "tests/standins/simulator_fixture.h"

namespace tvtest {
namespace {

using namespace tv::keysim;

TEST(Tvkey32Binding, ExportsAllThirtyFiveNamesUndecorated) {
  HMODULE module = LoadLibraryA("tvkey32.dll");
  ASSERT_NE(module, nullptr) << GetLastError();
  for (const char* name : kTvkey32Names) EXPECT_NE(GetProcAddress(module, name), nullptr) << name;
  FreeLibrary(module);
}

using ReaderTest = SimulatorTest;

TEST_F(ReaderTest, EnumeratesReadersInOrderThenNull) {
  EXPECT_EQ(api.EnumReaders(0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  AddReader("First reader");
  AddReader("Floppy A:\\", tvkey32::kReaderDiskDrive);
  ASSERT_NE(api.EnumReaders(0), nullptr);
  EXPECT_STREQ(api.EnumReaders(0), "First reader");
  EXPECT_STREQ(api.EnumReaders(1), "Floppy A:\\");
  EXPECT_EQ(api.EnumReaders(2), nullptr);
  EXPECT_EQ(api.EnumReaders(-1), nullptr);
}

TEST_F(ReaderTest, EnumeratedNamesStayValidAfterTheReaderGoes) {
  AddReader("Gone soon");
  const char* name = api.EnumReaders(0);
  ASSERT_NE(name, nullptr);
  RemoveReader("Gone soon");
  EXPECT_EQ(api.EnumReaders(0), nullptr);
  EXPECT_STREQ(name, "Gone soon");
}

TEST_F(ReaderTest, InitReaderFindsReadersWithoutRegardToCase) {
  AddReader("USB Reader");
  const int reader = api.InitReader("usb reader");
  ASSERT_NE(reader, -1);
  EXPECT_STREQ(api.GetReaderName(reader), "USB Reader");
  EXPECT_TRUE(api.CloseReader(reader));
  EXPECT_FALSE(api.CloseReader(reader));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(api.GetReaderName(reader), nullptr);
}

TEST_F(ReaderTest, InitReaderRefusesUnknownNames) {
  struct Case {
    const char* name;
    DWORD error;
  };
  const Case cases[] = {{"No such reader", kErrorUnknownReader},
                        {"C:\\not a container.txt", kErrorUnknownReader},
                        {nullptr, ERROR_INVALID_PARAMETER}};
  for (const Case& c : cases) {
    EXPECT_EQ(api.InitReader(c.name), -1) << (c.name ? c.name : "null");
    EXPECT_EQ(GetLastError(), c.error) << (c.name ? c.name : "null");
  }
}

TEST_F(ReaderTest, ReportsReaderTypes) {
  AddReader("USB Reader");
  AddReader("Floppy A:\\", tvkey32::kReaderDiskDrive);
  struct Case {
    const char* name;
    int type;
  };
  const Case cases[] = {{"USB Reader", tvkey32::kReaderHardware},
                        {"floppy a:\\", tvkey32::kReaderDiskDrive},
                        {"C:\\keys\\mine.tva", tvkey32::kReaderContainerFile},
                        {"\\\\server\\share\\MINE.TVA", tvkey32::kReaderContainerFile},
                        {"No such reader", 0}};
  for (const Case& c : cases) EXPECT_EQ(api.GetReaderType(c.name), c.type) << c.name;
}

TEST_F(ReaderTest, DiskDriveReaderNameEndsInItsDriveRoot) {
  AddReader("Floppy A:\\", tvkey32::kReaderDiskDrive);
  const int reader = api.InitReader("Floppy A:\\");
  const std::string name = api.GetReaderName(reader);
  EXPECT_EQ(api.GetReaderType(name.c_str()), tvkey32::kReaderDiskDrive);
  EXPECT_EQ(name.substr(name.size() - 3), "A:\\");
}

TEST_F(ReaderTest, AnyReadersChangesIsTrueOncePerChangeOfTheReaderSet) {
  AddReader("First");
  EXPECT_FALSE(api.AnyReadersChanges(0)) << "the first call sets the baseline";
  EXPECT_FALSE(api.AnyReadersChanges(0));
  AddReader("Second");
  EXPECT_TRUE(api.AnyReadersChanges(0));
  EXPECT_FALSE(api.AnyReadersChanges(0));
  CreateKey("k");
  Insert("k", "First");
  EXPECT_FALSE(api.AnyReadersChanges(0)) << "inserting a Key is no change of the readers";
  RemoveReader("Second");
  AddReader("Third");
  EXPECT_TRUE(api.AnyReadersChanges(0)) << "two changes since the last call are reported once";
  EXPECT_FALSE(api.AnyReadersChanges(0));
}

TEST_F(ReaderTest, AnyReadersChangesCountsFromTheFirstEnumeration) {
  AddReader("First");
  ASSERT_NE(api.EnumReaders(0), nullptr);
  AddReader("Second");
  EXPECT_TRUE(api.AnyReadersChanges(0));
}

TEST_F(ReaderTest, NamesTheSystemNeverCallsFailAsNotImplemented) {
  const int reader = ReaderWithKey();
  BYTE bytes[16] = {};
  DWORD length = sizeof bytes;
  char text[64] = {};
  const std::pair<const char*, std::function<BOOL()>> calls[] = {
      {"UnblockPIN", [&] { return api.UnblockPIN(reader, "1", "2"); }},
      {"IsDataExisting", [&] { return api.IsDataExisting(reader, kCspApplication); }},
      {"GetCardType", [&] { return static_cast<BOOL>(api.GetCardType(reader)); }},
      {"EnumApplications", [&] { return api.EnumApplications(reader, nullptr, &length); }},
      {"WriteLabel", [&] { return api.WriteLabel(reader, "x"); }},
      {"ReadDataApp", [&] { return api.ReadDataApp(reader, kCspApplication, 0, bytes, &length); }},
      {"WriteDataApp", [&] { return api.WriteDataApp(reader, kCspApplication, 0, bytes, &length); }},
      {"SetDataSizeApp", [&] { return api.SetDataSizeApp(reader, kCspApplication, 0); }},
      {"ExternalAuth", [&] { return api.ExternalAuth(reader, bytes, sizeof bytes); }},
      {"ChangeIssuerKey", [&] { return api.ChangeIssuerKey(reader, bytes, sizeof bytes); }},
      {"FormatCard", [&] { return api.FormatCard(reader, text, text); }},
      {"UnformatCard", [&] { return api.UnformatCard(reader); }},
  };
  for (const auto& [name, call] : calls) {
    SetLastError(0);
    EXPECT_FALSE(call()) << name;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED)) << name;
  }
}

}  // namespace
}  // namespace tvtest
