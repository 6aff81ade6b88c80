// Injected faults: a named export fails a given number of times with a given
// last error, or InitCard returns a forced status on a reader.
#include <gtest/gtest.h>

#include "standins/tvkey32/store/card_errors.h"
#include "tests/standins/simulator_fixture.h"

namespace tvtest {
namespace {

using FaultInjectionTest = SimulatorTest;

TEST_F(FaultInjectionTest, OperationFailsTheGivenNumberOfTimes) {
  const int reader = ReaderWithKey();
  ASSERT_TRUE(api.KeySimSetFault("ReadData", 2, ERROR_CRC));
  DWORD length = 0;
  for (int i = 0; i < 2; ++i) {
    EXPECT_FALSE(api.ReadData(reader, 0, nullptr, &length));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CRC));
  }
  EXPECT_TRUE(api.ReadData(reader, 0, nullptr, &length));
  EXPECT_EQ(GetLastError(), 0u);
}

TEST_F(FaultInjectionTest, FaultsReachEveryKindOfExport) {
  AddReader("R");
  ASSERT_TRUE(api.KeySimSetFault("EnumReaders", 1, ERROR_NOT_READY));
  ASSERT_TRUE(api.KeySimSetFault("InitReader", 1, ERROR_NOT_READY));
  EXPECT_EQ(api.EnumReaders(0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
  EXPECT_EQ(api.InitReader("R"), -1);
  EXPECT_STREQ(api.EnumReaders(0), "R");
  const int reader = api.InitReader("R");
  ASSERT_TRUE(api.KeySimSetFault("InitCard", 1, ERROR_NOT_READY));
  EXPECT_EQ(api.InitCard(reader, 221), tvkey32::kStatusReaderError);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
}

TEST_F(FaultInjectionTest, AlwaysLastsUntilCleared) {
  const int reader = ReaderWithKey();
  ASSERT_TRUE(api.KeySimSetFault("GetRandom", tvkey32::kFaultAlways, ERROR_GEN_FAILURE));
  BYTE b[4];
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(api.GetRandom(reader, b, sizeof b));
  ASSERT_TRUE(api.KeySimClearFaults());
  EXPECT_TRUE(api.GetRandom(reader, b, sizeof b));
}

TEST_F(FaultInjectionTest, ForcedStatusReplacesInitCardOnThatReaderOnly) {
  AddReader("R");
  AddReader("Other");
  CreateKey("k");
  CreateKey("o");
  Insert("k", "R");
  Insert("o", "Other");
  const int reader = api.InitReader("R");
  const int other = api.InitReader("Other");
  ASSERT_TRUE(api.KeySimForceStatus("r", -42, 2));
  EXPECT_EQ(api.InitCard(other, 221), 3);
  EXPECT_EQ(api.InitCard(reader, 221), -42);
  EXPECT_EQ(api.InitCard(reader, 221), -42);
  EXPECT_EQ(api.InitCard(reader, 221), 3);
}

TEST_F(FaultInjectionTest, RefusesNamesThatAreNoExport) {
  EXPECT_FALSE(api.KeySimSetFault("NoSuchCall", 1, ERROR_CRC));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(api.KeySimSetFault(nullptr, 1, ERROR_CRC));
  EXPECT_FALSE(api.KeySimForceStatus(nullptr, -5, 1));
}

TEST_F(FaultInjectionTest, FaultsAreOffByDefault) {
  const int reader = ReaderWithKey();
  ASSERT_TRUE(api.KeySimSetFault("ReadData", 1, ERROR_CRC));
  ASSERT_TRUE(api.KeySimSetFault("ReadData", 0, ERROR_CRC)) << "a count of 0 removes the fault";
  DWORD length = 0;
  EXPECT_TRUE(api.ReadData(reader, 0, nullptr, &length));
  EXPECT_EQ(GetFileAttributesA(File("faults.tks").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace tvtest
