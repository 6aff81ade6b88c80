// A ".tva" container file named by its full path is a Key in a reader of its
// own: a missing or empty file is a blank Key without PIN, which its first
// change writes into the file.
#include <gtest/gtest.h>

#include "standins/tvkey32/store/card_errors.h"
#include "standins/tvkey32/store/simulator_files.h"
#include "tests/standins/simulator_fixture.h"

namespace tvtest {
namespace {

using namespace tv::keysim;

class ContainerFileTest : public SimulatorTest {
 protected:
  std::string Path() const { return File("mine.tva"); }
  std::string CardId(int reader) {
    BYTE id[8] = {};
    DWORD length = sizeof id;
    EXPECT_TRUE(api.GetCardID(reader, id, &length)) << GetLastError();
    return std::string(reinterpret_cast<char*>(id), sizeof id);
  }
};

TEST_F(ContainerFileTest, MissingFileIsABlankKeyUntilItsFirstChange) {
  const int reader = api.InitReader(Path().c_str());
  ASSERT_NE(reader, -1);
  EXPECT_STREQ(api.GetReaderName(reader), Path().c_str());
  ASSERT_EQ(api.InitCard(reader, kCspApplication), kDefaultAttempts);
  EXPECT_TRUE(api.VerifyPIN(reader, ""));
  const std::string id = CardId(reader);
  EXPECT_EQ(CardId(reader), id) << "the blank Key keeps its card ID";
  EXPECT_EQ(GetFileAttributesA(Path().c_str()), INVALID_FILE_ATTRIBUTES) << "looking changes nothing";
  ASSERT_TRUE(api.ChangePIN(reader, "", "4321"));
  const Loaded<KeyState> written = LoadKey(ContainerPlace(Path()));
  ASSERT_TRUE(written.Ok());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(written.value.cardId.data()), 8), id);
  EXPECT_EQ(AsText(written.value.pin), "4321");
}

TEST_F(ContainerFileTest, EmptyFileIsABlankKeyToo) {
  WriteBytes(Path(), "");
  const int reader = api.InitReader(Path().c_str());
  ASSERT_EQ(api.InitCard(reader, kCspApplication), kDefaultAttempts);
  ASSERT_TRUE(api.SetDataSize(reader, 0));
  EXPECT_TRUE(LoadKey(ContainerPlace(Path())).Ok());
}

TEST_F(ContainerFileTest, WrittenContainerIsSeenThroughAnotherHandle) {
  const int writer = api.InitReader(Path().c_str());
  ASSERT_GE(api.InitCard(writer, kCspApplication), 1);
  DWORD length = 5;
  ASSERT_TRUE(api.WriteData(writer, 0, "hello", &length));
  ASSERT_TRUE(api.ChangePIN(writer, "", "77"));
  api.CloseCard(writer, 1);
  const int reader = api.InitReader(Path().c_str());
  ASSERT_EQ(api.InitCard(reader, kCspApplication), kDefaultAttempts);
  EXPECT_TRUE(api.IsDataExist(reader));
  char data[5] = {};
  length = sizeof data;
  EXPECT_FALSE(api.ReadData(reader, 0, data, &length));
  ASSERT_TRUE(api.VerifyPIN(reader, "77"));
  ASSERT_TRUE(api.ReadData(reader, 0, data, &length));
  EXPECT_EQ(std::string(data, 5), "hello");
  EXPECT_EQ(api.InitCard(writer, kCspApplication), tvkey32::kStatusSessionAbsent)
      << "a container let go with flag 1 is still present";
}

TEST_F(ContainerFileTest, DamagedContainerIsAFaultyKey) {
  WriteBytes(Path(), "this is no Key at all");
  const int reader = api.InitReader(Path().c_str());
  EXPECT_EQ(api.InitCard(reader, kCspApplication), tvkey32::kStatusKeyError);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_CORRUPT));
}

TEST_F(ContainerFileTest, ContainerInAMissingDirectoryCannotBeWritten) {
  const std::string path = File("no such directory\\mine.tva");
  const int reader = api.InitReader(path.c_str());
  ASSERT_GE(api.InitCard(reader, kCspApplication), 1);
  EXPECT_FALSE(api.SetDataSize(reader, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

}  // namespace
}  // namespace tvtest
