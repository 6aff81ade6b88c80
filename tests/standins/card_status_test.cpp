// InitCard's statuses for every state a Key can be in, and the card session
// rules around them: a Key let go with CloseCard flag 1, and a Key removed
// while its session was open, answer -5 until the session is closed.
#include <gtest/gtest.h>

#include <functional>

#include "standins/tvkey32/store/card_errors.h"
#include "standins/tvkey32/store/crc32.h"
#include "tests/standins/simulator_fixture.h"

namespace tvtest {
namespace {

using namespace tv::keysim;

// Rewrites a Key file as a sound file of a later format version.
void MakeLaterFormat(const std::string& path) {
  std::string bytes = ReadFileText(path);
  ASSERT_GT(bytes.size(), 16u);
  bytes[4] = 2;
  const std::uint32_t crc = Crc32({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size() - 4});
  for (int i = 0; i < 4; ++i) bytes[bytes.size() - 4 + i] = static_cast<char>(crc >> (8 * i));
  WriteBytes(path, bytes);
}

void FlipByte(const std::string& path, std::size_t at) {
  std::string bytes = ReadFileText(path);
  ASSERT_LT(at, bytes.size());
  bytes[at] ^= 0x40;
  WriteBytes(path, bytes);
}

class CardStatusTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    AddReader("R");
    CreateKey("k", "1234");
    Insert("k", "R");
  }
  // InitCard on a handle opened before `prepare` changed the simulator.
  int StatusAfter(const std::function<void()>& prepare) {
    const int reader = api.InitReader("R");
    prepare();
    const int status = api.InitCard(reader, kCspApplication);
    api.CloseReader(reader);
    return status;
  }
};

TEST_F(CardStatusTest, ReportsEveryStateOfTheKey) {
  struct Case {
    const char* state;
    std::function<void()> prepare;
    int status;
  };
  const Case cases[] = {
      {"formatted, 3 attempts", [] {}, 3},
      {"one attempt left", [&] { EditKey("k", [](KeyState& k) { k.attemptsLeft = 1; }); }, 1},
      {"blocked", [&] { EditKey("k", [](KeyState& k) { Block(k, false); }); }, tvkey32::kStatusBlocked},
      {"no Key", [&] { Eject("R"); }, tvkey32::kStatusNoKey},
      {"reader removed", [&] { RemoveReader("R"); }, tvkey32::kStatusNoKey},
      {"not formatted", [&] { SaveKeyState("k", MakeUnformattedKey(kDefaultCapacity)); }, tvkey32::kStatusNotFormatted},
      {"faulty", [&] { EditKey("k", [](KeyState& k) { k.faulty = true; }); }, tvkey32::kStatusKeyError},
      {"damaged file", [&] { FlipByte(KeyFile("k"), 20); }, tvkey32::kStatusKeyError},
      {"truncated file", [&] { WriteBytes(KeyFile("k"), ReadFileText(KeyFile("k")).substr(0, 30)); },
       tvkey32::kStatusKeyError},
      {"empty file", [&] { WriteBytes(KeyFile("k"), ""); }, tvkey32::kStatusKeyError},
      {"file deleted", [&] { DeleteFileA(KeyFile("k").c_str()); }, tvkey32::kStatusKeyError},
      {"no attempt count", [&] { CreateKey("k", "1234", 0); }, tvkey32::kStatusNoAttemptCount},
      {"finally blocked", [&] { EditKey("k", [](KeyState& k) { Block(k, true); }); }, tvkey32::kStatusFinallyBlocked},
      {"later file format", [&] { MakeLaterFormat(KeyFile("k")); }, tvkey32::kStatusUnidentified},
  };
  for (const Case& c : cases) {
    RemoveReader("R");
    AddReader("R");
    CreateKey("k", "1234");
    Insert("k", "R");
    EXPECT_EQ(StatusAfter(c.prepare), c.status) << c.state;
  }
}

TEST_F(CardStatusTest, DamagedReaderSetIsAReaderError) {
  const int reader = api.InitReader("R");
  WriteBytes(File("readers.tks"), "junk");
  EXPECT_EQ(api.InitCard(reader, kCspApplication), tvkey32::kStatusReaderError);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_CORRUPT));
  EXPECT_EQ(api.EnumReaders(0), nullptr);
}

TEST_F(CardStatusTest, InvalidHandleIsAReaderError) {
  EXPECT_EQ(api.InitCard(12345, kCspApplication), tvkey32::kStatusReaderError);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(CardStatusTest, KeyLetGoWithFlagOneAnswersAbsentUntilClosedWithFlagZero) {
  const int reader = api.InitReader("R");
  ASSERT_EQ(api.InitCard(reader, kCspApplication), 3);
  ASSERT_TRUE(api.CloseCard(reader, 1));
  EXPECT_EQ(api.InitCard(reader, kCspApplication), tvkey32::kStatusSessionAbsent);
  EXPECT_EQ(api.InitCard(reader, kCspApplication), tvkey32::kStatusSessionAbsent);
  ASSERT_TRUE(api.CloseCard(reader, 0));
  EXPECT_EQ(api.InitCard(reader, kCspApplication), 3);
}

TEST_F(CardStatusTest, KeyLetGoAndReinsertedIsANewKey) {
  const int reader = api.InitReader("R");
  ASSERT_EQ(api.InitCard(reader, kCspApplication), 3);
  api.CloseCard(reader, 1);
  Eject("R");
  EXPECT_EQ(api.InitCard(reader, kCspApplication), tvkey32::kStatusNoKey);
  Insert("k", "R");
  EXPECT_EQ(api.InitCard(reader, kCspApplication), 3);
}

TEST_F(CardStatusTest, KeyRemovedAndPutBackDuringASessionAnswersAbsent) {
  const int reader = api.InitReader("R");
  ASSERT_EQ(api.InitCard(reader, kCspApplication), 3);
  Eject("R");
  DWORD length = 0;
  EXPECT_FALSE(api.ReadData(reader, 0, nullptr, &length));
  EXPECT_EQ(GetLastError(), kErrorKeyRemoved);
  EXPECT_EQ(api.InitCard(reader, kCspApplication), tvkey32::kStatusNoKey);
  Insert("k", "R");
  EXPECT_EQ(api.InitCard(reader, kCspApplication), tvkey32::kStatusSessionAbsent);
  EXPECT_FALSE(api.ReadData(reader, 0, nullptr, &length)) << "the old session stays unusable";
  EXPECT_EQ(GetLastError(), kErrorKeyRemoved);
  api.CloseCard(reader, 0);
  EXPECT_EQ(api.InitCard(reader, kCspApplication), 3);
  EXPECT_TRUE(api.ReadData(reader, 0, nullptr, &length));
}

TEST_F(CardStatusTest, InitCardOnAnOpenSessionStartsItAgain) {
  const int reader = api.InitReader("R");
  ASSERT_EQ(api.InitCard(reader, kCspApplication), 3);
  ASSERT_TRUE(api.VerifyPIN(reader, "1234"));
  EXPECT_EQ(api.InitCard(reader, kCspApplication), 3);
  BYTE byte = 0;
  DWORD length = 1;
  EXPECT_FALSE(api.ReadData(reader, 0, &byte, &length)) << "the PIN is asked again in the new session";
  EXPECT_EQ(GetLastError(), kErrorPinNotVerified);
}

TEST_F(CardStatusTest, HandlesOnOneReaderHaveSessionsOfTheirOwn) {
  const int first = api.InitReader("R");
  const int second = api.InitReader("R");
  ASSERT_EQ(api.InitCard(first, kCspApplication), 3);
  ASSERT_EQ(api.InitCard(second, kCspApplication), 3);
  api.CloseCard(first, 1);
  EXPECT_EQ(api.InitCard(first, kCspApplication), tvkey32::kStatusSessionAbsent);
  EXPECT_EQ(api.InitCard(second, kCspApplication), 3);
}

TEST_F(CardStatusTest, CardOperationsNeedAnOpenSession) {
  const int reader = api.InitReader("R");
  DWORD length = 0;
  EXPECT_FALSE(api.ReadData(reader, 0, nullptr, &length));
  EXPECT_EQ(GetLastError(), kErrorNoSession);
  api.InitCard(reader, kCspApplication);
  api.CloseCard(reader, 1);
  EXPECT_FALSE(api.VerifyPIN(reader, "1234"));
  EXPECT_EQ(GetLastError(), kErrorNoSession);
}

TEST_F(CardStatusTest, AKeyDamagedDuringASessionFailsItsOperations) {
  const int reader = api.InitReader("R");
  ASSERT_EQ(api.InitCard(reader, kCspApplication), 3);
  FlipByte(KeyFile("k"), 25);
  DWORD length = 0;
  EXPECT_FALSE(api.ReadData(reader, 0, nullptr, &length));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_CORRUPT));
  EXPECT_FALSE(api.VerifyPIN(reader, "1234"));
  EXPECT_EQ(api.InitCard(reader, kCspApplication), tvkey32::kStatusKeyError);
}

TEST_F(CardStatusTest, KeyMadeFaultyDuringASessionFailsItsOperations) {
  const int reader = api.InitReader("R");
  ASSERT_EQ(api.InitCard(reader, kCspApplication), 3);
  EditKey("k", [](KeyState& k) { k.faulty = true; });
  BYTE id[8];
  DWORD length = sizeof id;
  EXPECT_FALSE(api.GetCardID(reader, id, &length));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_DEVICE));
}

}  // namespace
}  // namespace tvtest
