// The card operations on a Key in a reader: PIN checks and changes, the data
// areas, the biometric record, card ID, label, application values and random
// bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "standins/tvkey32/store/card_errors.h"
#include "tests/standins/simulator_fixture.h"

namespace tvtest {
namespace {

using namespace tv::keysim;

class CardOperationTest : public SimulatorTest {
 protected:
  // Writes `data` at `offset` of the session's data area.
  BOOL Write(int reader, DWORD offset, const std::string& data) {
    DWORD length = static_cast<DWORD>(data.size());
    return api.WriteData(reader, offset, data.data(), &length);
  }
  std::string Read(int reader, DWORD offset, DWORD length) {
    std::string data(length, '\0');
    EXPECT_TRUE(api.ReadData(reader, offset, data.data(), &length)) << GetLastError();
    return data;
  }
  DWORD UsedSize(int reader) {
    DWORD length = 0xFFFF;
    EXPECT_TRUE(api.ReadData(reader, 0, nullptr, &length)) << GetLastError();
    return length;
  }
};

TEST_F(CardOperationTest, WrongPinsUseUpAttemptsAndBlockAtZero) {
  const int reader = ReaderWithKey("1234");
  EXPECT_FALSE(api.VerifyPIN(reader, "0000"));
  EXPECT_EQ(GetLastError(), kErrorWrongPin);
  EXPECT_EQ(api.InitCard(reader, kCspApplication), 2);
  EXPECT_FALSE(api.VerifyPIN(reader, "1111"));
  EXPECT_EQ(api.InitCard(reader, kCspApplication), 1);
  EXPECT_FALSE(api.VerifyPIN(reader, "2222"));
  EXPECT_EQ(api.InitCard(reader, kCspApplication), tvkey32::kStatusBlocked);
  EXPECT_FALSE(api.VerifyPIN(reader, "1234")) << "a blocked Key refuses even the right PIN";
  EXPECT_EQ(GetLastError(), kErrorPinBlocked);
  EXPECT_EQ(LoadKeyState("k").attemptsLeft, 0) << "the count is kept on the Key";
}

TEST_F(CardOperationTest, RightPinRestoresTheFullCount) {
  const int reader = ReaderWithKey("1234");
  api.VerifyPIN(reader, "0000");
  api.VerifyPIN(reader, "0000");
  EXPECT_TRUE(api.VerifyPIN(reader, "1234"));
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(api.InitCard(reader, kCspApplication), 3);
}

TEST_F(CardOperationTest, EmptyPinIsWrongWithoutUsingAnAttempt) {
  const int reader = ReaderWithKey("1234");
  for (int i = 0; i < 4; ++i) {
    EXPECT_FALSE(api.VerifyPIN(reader, ""));
    EXPECT_EQ(GetLastError(), kErrorWrongPin);
  }
  EXPECT_FALSE(api.ChangePIN(reader, "", "5678"));
  EXPECT_EQ(api.InitCard(reader, kCspApplication), 3);
  EXPECT_TRUE(api.VerifyPIN(reader, "1234"));
}

TEST_F(CardOperationTest, KeyWithoutPinAcceptsTheEmptyPin) {
  const int reader = ReaderWithKey("");
  EXPECT_TRUE(api.VerifyPIN(reader, ""));
  EXPECT_TRUE(Write(reader, 0, "data"));
}

TEST_F(CardOperationTest, KeyWithoutAttemptCountNeverBlocks) {
  AddReader("R");
  CreateKey("k", "1234", 0);
  Insert("k", "R");
  const int reader = api.InitReader("R");
  ASSERT_EQ(api.InitCard(reader, kCspApplication), tvkey32::kStatusNoAttemptCount);
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(api.VerifyPIN(reader, "0000"));
  EXPECT_TRUE(api.VerifyPIN(reader, "1234"));
}

TEST_F(CardOperationTest, ChangePinNeedsTheOldPin) {
  const int reader = ReaderWithKey("1234");
  EXPECT_FALSE(api.ChangePIN(reader, "9999", "5678"));
  EXPECT_EQ(GetLastError(), kErrorWrongPin);
  EXPECT_EQ(api.InitCard(reader, kCspApplication), 2) << "a wrong old PIN uses up an attempt";
  EXPECT_TRUE(api.ChangePIN(reader, "1234", "5678"));
  EXPECT_EQ(api.InitCard(reader, kCspApplication), 3);
  EXPECT_FALSE(api.VerifyPIN(reader, "1234"));
  EXPECT_TRUE(api.VerifyPIN(reader, "5678"));
}

TEST_F(CardOperationTest, EmptyNewPinSwitchesPinProtectionOff) {
  const int reader = ReaderWithKey("1234");
  ASSERT_TRUE(api.ChangePIN(reader, "1234", ""));
  api.CloseCard(reader, 0);
  ASSERT_EQ(api.InitCard(reader, kCspApplication), 3);
  EXPECT_TRUE(Write(reader, 0, "open")) << "no PIN is needed any more";
  EXPECT_TRUE(api.VerifyPIN(reader, ""));
}

TEST_F(CardOperationTest, OverlongNewPinIsRefusedWithoutUsingAnAttempt) {
  const int reader = ReaderWithKey("1234");
  const std::string tooLong(65, '7');
  EXPECT_FALSE(api.ChangePIN(reader, "1234", tooLong.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(api.ChangePIN(reader, "1234", nullptr));
  EXPECT_EQ(api.InitCard(reader, kCspApplication), 3);
}

TEST_F(CardOperationTest, DataAreaNeedsTheVerifiedPinOfAProtectedKey) {
  const int reader = ReaderWithKey("1234");
  BYTE byte = 0;
  DWORD length = 1;
  EXPECT_EQ(UsedSize(reader), 0u) << "the size is no secret";
  EXPECT_FALSE(api.IsDataExist(reader));
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_FALSE(api.ReadData(reader, 0, &byte, &length));
  EXPECT_EQ(GetLastError(), kErrorPinNotVerified);
  EXPECT_FALSE(Write(reader, 0, "x"));
  EXPECT_EQ(GetLastError(), kErrorPinNotVerified);
  EXPECT_FALSE(api.SetDataSize(reader, 0));
  EXPECT_FALSE(api.DeleteData(reader));
  ASSERT_TRUE(api.VerifyPIN(reader, "1234"));
  EXPECT_TRUE(Write(reader, 0, "x"));
}

TEST_F(CardOperationTest, WritesExtendTheUsedSizeAndReadBack) {
  const int reader = ReaderWithKey("1234");
  ASSERT_TRUE(api.VerifyPIN(reader, "1234"));
  ASSERT_TRUE(Write(reader, 0, "first record;"));
  ASSERT_TRUE(Write(reader, UsedSize(reader), "second record"));
  EXPECT_EQ(UsedSize(reader), 26u);
  EXPECT_TRUE(api.IsDataExist(reader));
  EXPECT_EQ(Read(reader, 0, 26), "first record;second record");
  EXPECT_EQ(Read(reader, 20, 10), std::string("record\0\0\0\0", 10)) << "the unused part reads as zeros";
  ASSERT_TRUE(api.SetDataSize(reader, 5));
  EXPECT_EQ(UsedSize(reader), 5u);
  EXPECT_EQ(Read(reader, 0, 8), std::string("first\0\0\0", 8)) << "shrinking erases the cut part";
  ASSERT_TRUE(api.DeleteData(reader));
  EXPECT_EQ(UsedSize(reader), 0u);
  EXPECT_FALSE(api.IsDataExist(reader));
}

TEST_F(CardOperationTest, EachApplicationHasItsOwnDataArea) {
  const int reader = ReaderWithKey("", kCspApplication);
  ASSERT_TRUE(Write(reader, 0, "container"));
  api.CloseCard(reader, 0);
  ASSERT_GE(api.InitCard(reader, kStoreApplication), 1);
  EXPECT_EQ(UsedSize(reader), 0u);
  ASSERT_TRUE(Write(reader, 0, "certs"));
  api.CloseCard(reader, 0);
  ASSERT_GE(api.InitCard(reader, kCspApplication), 1);
  EXPECT_EQ(Read(reader, 0, 9), "container");
}

TEST_F(CardOperationTest, ReadsAndWritesStayInsideTheCapacity) {
  AddReader("R");
  CreateKey("k", "", 3, 64);
  Insert("k", "R");
  const int reader = api.InitReader("R");
  ASSERT_GE(api.InitCard(reader, kCspApplication), 1);
  struct Case {
    DWORD offset;
    DWORD length;
    bool fits;
  };
  const Case cases[] = {{0, 64, true}, {0, 65, false}, {63, 1, true}, {64, 1, false}, {0xFFFFFFFF, 2, false}};
  for (const Case& c : cases) {
    std::vector<BYTE> data(c.length, 0x5A);
    DWORD length = c.length;
    EXPECT_EQ(api.WriteData(reader, c.offset, data.data(), &length), c.fits) << c.offset << "+" << c.length;
    if (!c.fits) {
      EXPECT_EQ(GetLastError(), kErrorNoMemory);
    }
    length = c.length;
    EXPECT_EQ(api.ReadData(reader, c.offset, data.data(), &length), c.fits) << c.offset << "+" << c.length;
    if (!c.fits) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HANDLE_EOF));
    }
  }
  EXPECT_EQ(UsedSize(reader), 64u);
}

TEST_F(CardOperationTest, RefusesNullArguments) {
  const int reader = ReaderWithKey("");
  BYTE byte = 0;
  DWORD length = 1;
  EXPECT_FALSE(api.ReadData(reader, 0, &byte, nullptr));
  EXPECT_FALSE(api.WriteData(reader, 0, nullptr, &length));
  EXPECT_FALSE(api.GetCardID(reader, nullptr, &length));
  EXPECT_FALSE(api.ReadLabel(reader, nullptr));
  EXPECT_FALSE(api.VerifyPIN(reader, nullptr));
  EXPECT_FALSE(api.GetApplicationInfo(reader, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(CardOperationTest, CardIdIsTheKeysOwnAcrossReadersAndHandles) {
  AddReader("R1");
  AddReader("R2");
  const KeyState first = CreateKey("k1");
  const KeyState second = CreateKey("k2");
  Insert("k1", "R1");
  Insert("k2", "R2");
  auto idIn = [&](const char* name) {
    const int reader = api.InitReader(name);
    EXPECT_GE(api.InitCard(reader, kCspApplication), 1);
    BYTE id[8] = {};
    DWORD length = sizeof id;
    EXPECT_TRUE(api.GetCardID(reader, id, &length));
    EXPECT_EQ(length, 8u);
    api.CloseReader(reader);
    return std::string(reinterpret_cast<char*>(id), 8);
  };
  EXPECT_EQ(idIn("R1"), std::string(reinterpret_cast<const char*>(first.cardId.data()), 8));
  EXPECT_NE(idIn("R1"), idIn("R2"));
  Eject("R1");
  Eject("R2");
  Insert("k1", "R2");
  EXPECT_EQ(idIn("R2"), std::string(reinterpret_cast<const char*>(first.cardId.data()), 8));
  EXPECT_NE(first.cardId, second.cardId);
}

TEST_F(CardOperationTest, CardIdNeedsAnEightByteBuffer) {
  const int reader = ReaderWithKey();
  BYTE id[8] = {};
  DWORD length = 7;
  EXPECT_FALSE(api.GetCardID(reader, id, &length));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(length, 8u);
}

TEST_F(CardOperationTest, LabelFillsAtMostThirtyTwoBytes) {
  struct Case {
    std::string label;
  };
  const Case cases[] = {{""}, {"Alice"}, {std::string(32, 'L')}};
  const int reader = ReaderWithKey();
  for (const Case& c : cases) {
    EditKey("k", [&](KeyState& k) { k.label = c.label; });
    char buffer[40];
    memset(buffer, '#', sizeof buffer);
    ASSERT_TRUE(api.ReadLabel(reader, buffer));
    EXPECT_EQ(std::string(buffer, strnlen(buffer, 32)), c.label);
    EXPECT_EQ(std::string(buffer + 32, 8), std::string(8, '#')) << "nothing is written past 32 bytes";
  }
}

TEST_F(CardOperationTest, ApplicationValuesAreKeptPerApplication) {
  const int reader = ReaderWithKey();
  EditKey("k", [](KeyState& k) {
    SetApplicationValues(k, 226, 0x11, 0x22);
    SetApplicationValues(k, 227, 5, 0);
  });
  struct Case {
    int application;
    DWORD value1, value2;
  };
  const Case cases[] = {{226, 0x11, 0x22}, {227, 5, 0}, {0, 0, 0}};
  for (const Case& c : cases) {
    DWORD v1 = 99, v2 = 99;
    ASSERT_TRUE(api.GetApplicationInfo(reader, c.application, &v1, &v2));
    EXPECT_EQ(v1, c.value1) << c.application;
    EXPECT_EQ(v2, c.value2) << c.application;
  }
}

TEST_F(CardOperationTest, RandomBytesDifferFromCallToCall) {
  const int reader = ReaderWithKey("1234");
  BYTE a[72] = {}, b[72] = {};
  ASSERT_TRUE(api.GetRandom(reader, a, sizeof a));
  ASSERT_TRUE(api.GetRandom(reader, b, sizeof b));
  EXPECT_NE(memcmp(a, b, sizeof a), 0);
  EXPECT_NE(std::string(reinterpret_cast<char*>(a), sizeof a), std::string(sizeof a, '\0'));
  EXPECT_TRUE(api.GetRandom(reader, nullptr, 0));
}

class BiometricRecordTest : public CardOperationTest {
 protected:
  DWORD RecordSize(int reader) {
    DWORD size = 0xFFFF;
    EXPECT_TRUE(api.ReadBIR(reader, 0, nullptr, &size));
    return size;
  }
  DWORD FreeSpace(int reader) {
    DWORD size = 0;
    EXPECT_TRUE(api.WriteBIR(reader, 0, nullptr, &size));
    return size;
  }
  BOOL WriteRecord(int reader, const std::string& record) {
    DWORD size = static_cast<DWORD>(record.size());
    return api.WriteBIR(reader, 0, record.data(), &size) && api.SetBIRSize(reader, size);
  }
};

TEST_F(BiometricRecordTest, RecordSharesTheFreeSpaceWithTheDataAreas) {
  AddReader("R");
  CreateKey("k", "1234", 3, 100);
  Insert("k", "R");
  const int reader = api.InitReader("R");
  ASSERT_EQ(api.InitCard(reader, kCspApplication), 3);
  ASSERT_TRUE(api.VerifyPIN(reader, "1234"));
  EXPECT_EQ(RecordSize(reader), 0u);
  EXPECT_EQ(FreeSpace(reader), 100u);
  ASSERT_TRUE(Write(reader, 0, std::string(60, 'd')));
  EXPECT_EQ(FreeSpace(reader), 40u);
  EXPECT_FALSE(WriteRecord(reader, std::string(41, 'b')));
  EXPECT_EQ(GetLastError(), kErrorNoMemory);
  EXPECT_EQ(RecordSize(reader), 0u) << "a refused record leaves nothing behind";
  ASSERT_TRUE(WriteRecord(reader, std::string(40, 'b')));
  EXPECT_EQ(RecordSize(reader), 40u);
  EXPECT_EQ(FreeSpace(reader), 0u);
  EXPECT_FALSE(Write(reader, 60, "x")) << "the record now takes the rest";
  EXPECT_EQ(GetLastError(), kErrorNoMemory);
}

TEST_F(BiometricRecordTest, RecordIsReadBackReplacedAndDeleted) {
  const int reader = ReaderWithKey("1234");
  ASSERT_TRUE(api.VerifyPIN(reader, "1234"));
  ASSERT_TRUE(WriteRecord(reader, "a long first record"));
  ASSERT_TRUE(WriteRecord(reader, "shorter"));
  ASSERT_EQ(RecordSize(reader), 7u);
  std::string record(7, '\0');
  DWORD size = 7;
  ASSERT_TRUE(api.ReadBIR(reader, 0, record.data(), &size));
  EXPECT_EQ(record, "shorter");
  size = 8;
  EXPECT_FALSE(api.ReadBIR(reader, 0, record.data(), &size)) << "reads stay inside the record";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HANDLE_EOF));
  ASSERT_TRUE(api.DeleteBIR(reader));
  EXPECT_EQ(RecordSize(reader), 0u);
}

TEST_F(BiometricRecordTest, RecordNeedsTheVerifiedPin) {
  const int reader = ReaderWithKey("1234");
  EXPECT_FALSE(WriteRecord(reader, "record"));
  EXPECT_EQ(GetLastError(), kErrorPinNotVerified);
  EXPECT_FALSE(api.DeleteBIR(reader));
  EXPECT_EQ(RecordSize(reader), 0u) << "the size is no secret";
}

}  // namespace
}  // namespace tvtest
