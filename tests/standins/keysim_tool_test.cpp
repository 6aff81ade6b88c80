// keysim.exe as a person or a script uses it: the commands, their effect on
// the simulator (and so on tvkey32.dll), the listing, and the errors, after
// which nothing has changed.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "standins/tvkey32/store/locked_update.h"
#include "standins/tvkey32/store/simulator_directory.h"
#include "standins/tvkey32/store/simulator_files.h"
#include "tests/standins/simulator_fixture.h"
#include "tests/standins/tool_runner.h"

namespace tvtest {
namespace {

using namespace tv::keysim;

// Every file of the simulator directory and its bytes.
std::map<std::string, std::string> Contents(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const std::string sub : {"", "\\keys"}) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + sub + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) continue;
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      const std::string path = dir + sub + "\\" + found.cFileName;
      files[path] = ReadFileText(path);
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  return files;
}

class KeysimToolTest : public SimulatorTest {
 protected:
  // Runs keysim and expects it to succeed.
  std::string Keysim(const std::string& arguments) {
    const ToolRun run = RunKeysim(arguments);
    EXPECT_EQ(run.exitCode, 0) << "keysim " << arguments << "\n" << run.err;
    return run.out;
  }
  // Reader "R" holding Key "alice" (PIN 1234, data "Hello" for application
  // 221), Key "bob" out of any reader, and an empty reader "Empty".
  void MakeSampleState() {
    Keysim("add-reader R");
    Keysim("add-reader Empty");
    Keysim("create-key alice --label Alice --pin 1234");
    Keysim("create-key bob");
    Keysim("insert alice R");
    EditKey("alice", [](KeyState& k) {
      const std::string hello = "Hello";
      WriteArea(k, 221, 0, {reinterpret_cast<const std::uint8_t*>(hello.data()), hello.size()});
    });
  }
};

TEST_F(KeysimToolTest, APersonCreatesAReaderWithAKeyAndSeesItListed) {
  Keysim("add-reader \"USB Reader 1\"");
  Keysim("create-key alice --label Alice --pin 1234 --attempts 5");
  Keysim("insert alice \"USB Reader 1\"");
  const std::string listing = Keysim("list");
  EXPECT_NE(listing.find("Simulator directory: " + Dir()), std::string::npos) << listing;
  EXPECT_NE(listing.find("\"USB Reader 1\" (hardware): Key alice"), std::string::npos) << listing;
  EXPECT_NE(listing.find("alice: ready, 5 of 5 attempts left, PIN set, label \"Alice\""), std::string::npos)
      << listing;
  EXPECT_NE(listing.find("in \"USB Reader 1\""), std::string::npos) << listing;

  const int reader = api.InitReader("USB Reader 1");
  EXPECT_EQ(api.InitCard(reader, kCspApplication), 5);
  EXPECT_TRUE(api.VerifyPIN(reader, "1234"));
}

TEST_F(KeysimToolTest, UsageErrorsExitWithTwo) {
  struct Case {
    const char* arguments;
    const char* message;
  };
  const Case cases[] = {
      {"", "Usage: keysim COMMAND"},
      {"frobnicate", "unknown command frobnicate"},
      {"insert alice", "usage: keysim insert KEY READER"},
      {"list extra", "usage: keysim list"},
      {"create-key k --colour red", "unknown option --colour"},
      {"create-key k --pin", "option --pin needs a value"},
      {"block k --disk", "unknown option --disk"},
  };
  for (const Case& c : cases) {
    const ToolRun run = RunKeysim(c.arguments);
    EXPECT_EQ(run.exitCode, 2) << c.arguments;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.arguments << "\n" << run.err;
  }
}

TEST_F(KeysimToolTest, RefusedCommandsExitWithOneAndChangeNothing) {
  MakeSampleState();
  Keysim("create-key blank --unformatted");
  const std::string tooLong(33, 'x');
  struct Case {
    std::string arguments;
    const char* message;
  };
  const Case cases[] = {
      {"insert bob Nowhere", "there is no reader \"Nowhere\""},
      {"insert bob R", "reader \"R\" holds Key alice already"},
      {"insert alice Empty", "Key alice is in reader \"R\""},
      {"insert carol Empty", "there is no Key carol"},
      {"create-key alice", "Key alice exists already"},
      {"delete-key alice", "eject it first"},
      {"add-reader r", "there is a reader \"r\" already"},
      {"add-reader Floppy --disk", "drive root"},
      {"add-reader C:\\keys\\mine.tva", "names a container file"},
      {"create-key x --attempts 100", "--attempts takes a number"},
      {"create-key x --capacity lots", "--capacity takes a number"},
      {"create-key x --label " + tooLong, "the label is longer than 32 characters"},
      {"create-key bad/name", "a Key name is made of"},
      {"set-pin alice " + std::string(65, '1'), "the PIN is longer than 64 characters"},
      {"set-faulty alice maybe", "set-faulty takes on or off"},
      {"block carol", "there is no Key carol"},
      {"block blank", "the Key is not formatted"},
      {"set-app-info alice 227 five 0", "set-app-info takes"},
      {"set-fault NoSuchCall 1 31", "NoSuchCall is not an export"},
      {"set-fault ReadData 0 31", "the count is a number from 1"},
      {"set-fault ReadData 1 0", "the error is a non-zero"},
      {"force-status R minus 1", "the status is a whole number"},
      {"eject Empty", "reader \"Empty\" holds no Key"},
      {"remove-reader Nowhere", "there is no reader \"Nowhere\""},
      {"dump carol", "there is no Key carol"},
  };
  const auto before = Contents(Dir());
  for (const Case& c : cases) {
    const ToolRun run = RunKeysim(c.arguments);
    EXPECT_EQ(run.exitCode, 1) << c.arguments;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.arguments << "\n" << run.err;
    EXPECT_TRUE(run.out.empty()) << c.arguments << "\n" << run.out;
    EXPECT_EQ(Contents(Dir()), before) << c.arguments << " changed the simulator";
  }
}

TEST_F(KeysimToolTest, KeyCommandsChangeTheKey) {
  MakeSampleState();
  const CardId cardId = LoadKeyState("alice").cardId;
  struct Case {
    const char* arguments;
    std::function<void(const KeyState&)> check;
  };
  const Case cases[] = {
      {"block alice", [](const KeyState& k) { EXPECT_EQ(CardStatusOf(k), 0); }},
      {"unblock alice", [](const KeyState& k) { EXPECT_EQ(CardStatusOf(k), 3); }},
      {"block alice --final", [](const KeyState& k) { EXPECT_EQ(CardStatusOf(k), -7); }},
      {"unblock alice", [](const KeyState& k) { EXPECT_EQ(CardStatusOf(k), 3); }},
      {"set-pin alice 9876", [](const KeyState& k) { EXPECT_EQ(AsText(k.pin), "9876"); }},
      {"clear-pin alice", [](const KeyState& k) { EXPECT_FALSE(HasPin(k)); }},
      {"set-faulty alice on", [](const KeyState& k) { EXPECT_EQ(CardStatusOf(k), -3); }},
      {"set-faulty alice off", [](const KeyState& k) { EXPECT_EQ(CardStatusOf(k), 3); }},
      {"set-app-info alice 227 5 0x10", [](const KeyState& k) {
         EXPECT_EQ(ApplicationValues(k, 227), std::make_pair(5u, 16u));
       }},
      {"format alice --label Fresh --pin 11 --attempts 0 --capacity 2048", [&](const KeyState& k) {
         EXPECT_EQ(k.label, "Fresh");
         EXPECT_EQ(AsText(k.pin), "11");
         EXPECT_EQ(CardStatusOf(k), -4);
         EXPECT_EQ(k.capacity, 2048u);
         EXPECT_EQ(UsedMemory(k), 0u) << "formatting erases the data";
         EXPECT_EQ(k.cardId, cardId) << "formatting keeps the card ID";
       }},
  };
  for (const Case& c : cases) {
    Keysim(c.arguments);
    c.check(LoadKeyState("alice"));
  }
}

TEST_F(KeysimToolTest, EjectedKeyLeavesItsReaderEmpty) {
  MakeSampleState();
  const int reader = api.InitReader("R");
  ASSERT_EQ(api.InitCard(reader, kCspApplication), 3);
  Keysim("eject R");
  EXPECT_EQ(api.InitCard(reader, kCspApplication), tvkey32::kStatusNoKey);
  Keysim("insert alice R");
  EXPECT_EQ(api.InitCard(reader, kCspApplication), tvkey32::kStatusSessionAbsent) << "put back during a session";
}

TEST_F(KeysimToolTest, RemovingAReaderKeepsItsKey) {
  MakeSampleState();
  EXPECT_FALSE(api.AnyReadersChanges(0));
  const std::string out = Keysim("remove-reader R");
  EXPECT_NE(out.find("Key alice is no longer in a reader"), std::string::npos) << out;
  EXPECT_TRUE(api.AnyReadersChanges(0));
  EXPECT_EQ(LoadKeyState("alice").label, "Alice");
  Keysim("delete-key alice");
  EXPECT_EQ(GetFileAttributesA(KeyFile("alice").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(KeysimToolTest, CreatesAContainerFileThatIsAKey) {
  const std::string path = File("person.tva");
  Keysim("create-key \"" + path + "\" --pin 4321 --label Carried");
  const int reader = api.InitReader(path.c_str());
  ASSERT_EQ(api.InitCard(reader, kCspApplication), 3);
  EXPECT_TRUE(api.VerifyPIN(reader, "4321"));
  EXPECT_EQ(RunKeysim("create-key \"" + path + "\"").exitCode, 1) << "an existing container is kept";
  EXPECT_NE(Keysim("dump \"" + path + "\"").find("label \"Carried\""), std::string::npos);
}

TEST_F(KeysimToolTest, DumpShowsTheDataAreasInHex) {
  MakeSampleState();
  const std::string out = Keysim("dump alice");
  EXPECT_NE(out.find("Application 221: values 0x00000000 0x00000000, 5 bytes"), std::string::npos) << out;
  EXPECT_NE(out.find("00000000  48 65 6C 6C 6F"), std::string::npos) << out;
  EXPECT_NE(out.find("|Hello|"), std::string::npos) << out;
  EXPECT_NE(out.find("Biometric record: 0 bytes"), std::string::npos) << out;
  EXPECT_EQ(Keysim("dump alice --app 226").find("Application 221"), std::string::npos);
}

TEST_F(KeysimToolTest, FaultsAreSetListedAndCleared) {
  MakeSampleState();
  Keysim("set-fault ReadData 2 31");
  Keysim("force-status R -5");
  Keysim("set-fault GetRandom always 0x8010006B");
  const std::string listing = Keysim("list");
  EXPECT_NE(listing.find("ReadData: fails with 0x0000001F, 2 more times"), std::string::npos) << listing;
  EXPECT_NE(listing.find("GetRandom: fails with 0x8010006B, every time"), std::string::npos) << listing;
  EXPECT_NE(listing.find("InitCard on \"R\": returns -5, once more"), std::string::npos) << listing;

  const int reader = api.InitReader("R");
  EXPECT_EQ(api.InitCard(reader, kCspApplication), -5);
  EXPECT_EQ(api.InitCard(reader, kCspApplication), 3);
  DWORD length = 0;
  EXPECT_FALSE(api.ReadData(reader, 0, nullptr, &length));
  EXPECT_EQ(GetLastError(), 31u);

  Keysim("clear-faults");
  EXPECT_NE(Keysim("list").find("Faults:\n  (none)"), std::string::npos);
  EXPECT_TRUE(api.ReadData(reader, 0, nullptr, &length));
}

TEST_F(KeysimToolTest, DamagedKeyIsListedAsSuch) {
  MakeSampleState();
  WriteBytes(KeyFile("bob"), "garbage");
  const std::string listing = Keysim("list");
  EXPECT_NE(listing.find("bob: damaged file (a faulty Key to its reader)"), std::string::npos) << listing;
  EXPECT_EQ(RunKeysim("block bob").exitCode, 1);
  EXPECT_EQ(ReadFileText(KeyFile("bob")), "garbage");
}

TEST_F(KeysimToolTest, HelpListsEveryCommand) {
  const ToolRun run = RunKeysim("help");
  EXPECT_EQ(run.exitCode, 0);
  for (const char* command : {"list", "dir", "add-reader", "remove-reader", "create-key", "format", "delete-key",
                              "insert", "eject", "block", "unblock", "set-pin", "clear-pin", "set-faulty",
                              "set-app-info", "dump", "set-fault", "force-status", "clear-faults"}) {
    EXPECT_NE(run.out.find(std::string("  ") + command + " "), std::string::npos) << command;
  }
}

// The registry value names the directory when the environment does not;
// the environment variable wins over it.
TEST_F(KeysimToolTest, DirectoryComesFromTheEnvironmentThenTheRegistry) {
  TempDir other;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kDirectoryRegistryKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  if (RegQueryValueExA(key, kDirectoryRegistryValue, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
    RegCloseKey(key);
    GTEST_SKIP() << "this prefix has a simulator directory configured; it is left alone";
  }
  RegSetValueExA(key, kDirectoryRegistryValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(other.Path().c_str()),
                 static_cast<DWORD>(other.Path().size() + 1));
  EXPECT_EQ(Keysim("dir"), Dir() + "\n");
  SetEnvironmentVariableA(kDirectoryVariable, nullptr);
  EXPECT_EQ(Keysim("dir"), other.Path() + "\n");
  SetEnvironmentVariableA(kDirectoryVariable, Dir().c_str());
  RegDeleteValueA(key, kDirectoryRegistryValue);
  RegCloseKey(key);
}

}  // namespace
}  // namespace tvtest
