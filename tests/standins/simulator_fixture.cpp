#include "tests/standins/simulator_fixture.h"

#include "standins/tvkey32/store/locked_update.h"
#include "standins/tvkey32/store/simulator_directory.h"
#include "standins/tvkey32/store/simulator_files.h"

namespace tvtest {

using namespace tv::keysim;

SimulatorTest::SimulatorTest(const TempDir* shared)
    : owned_(shared ? nullptr : std::make_unique<TempDir>()), dir_(shared ? shared : owned_.get()) {}

void SimulatorTest::SetUp() {
  SetEnvironmentVariableA(kDirectoryVariable, Dir().c_str());
  ASSERT_TRUE(api.Bind()) << "missing " << api.missing;
}

void SimulatorTest::TearDown() { SetEnvironmentVariableA(kDirectoryVariable, nullptr); }

void SimulatorTest::AddReader(const std::string& name, int type) {
  ASSERT_EQ(0u, UpdateReaderSet(Dir(), [&](ReaderSet& set) {
              set.readers.push_back({name, type, "", 0});
              ++set.generation;
              return DWORD{0};
            }));
}

void SimulatorTest::RemoveReader(const std::string& name) {
  ASSERT_EQ(0u, UpdateReaderSet(Dir(), [&](ReaderSet& set) {
              std::erase_if(set.readers, [&](const Reader& r) { return r.name == name; });
              ++set.generation;
              return DWORD{0};
            }));
}

KeyState SimulatorTest::CreateKey(const std::string& name, const std::string& pin, int attempts,
                                  std::uint32_t capacity) {
  KeySettings settings;
  settings.pin = ToSecret(pin);
  settings.attempts = attempts;
  settings.capacity = capacity;
  const KeyState key = MakeFormattedKey(settings);
  SaveKeyState(name, key);
  return key;
}

void SimulatorTest::SaveKeyState(const std::string& name, const KeyState& key) {
  EXPECT_EQ(0u, SaveKey(NamedKeyPlace(Dir(), name), key));
}

void SimulatorTest::Insert(const std::string& key, const std::string& reader) {
  ASSERT_EQ(0u, UpdateReaderSet(Dir(), [&](ReaderSet& set) {
              Reader* r = set.Find(reader);
              if (!r) return DWORD{ERROR_NOT_FOUND};
              r->keyName = key;
              r->insertion = set.nextInsertion++;
              return DWORD{0};
            }));
}

void SimulatorTest::Eject(const std::string& reader) {
  ASSERT_EQ(0u, UpdateReaderSet(Dir(), [&](ReaderSet& set) {
              set.Find(reader)->keyName.clear();
              return DWORD{0};
            }));
}

void SimulatorTest::EditKey(const std::string& name, const std::function<void(KeyState&)>& edit) {
  ASSERT_EQ(0u, UpdateKeyFile(NamedKeyPlace(Dir(), name), [&](KeyState& key) {
              edit(key);
              return DWORD{0};
            }));
}

KeyState SimulatorTest::LoadKeyState(const std::string& name) {
  Loaded<KeyState> loaded = LoadKey(NamedKeyPlace(Dir(), name));
  EXPECT_TRUE(loaded.Ok()) << LoadStatusName(loaded.status);
  return loaded.value;
}

std::string SimulatorTest::KeyFile(const std::string& name) const { return NamedKeyPlace(Dir(), name).file; }

int SimulatorTest::ReaderWithKey(const std::string& pin, int application) {
  AddReader("R");
  CreateKey("k", pin);
  Insert("k", "R");
  const int reader = api.InitReader("R");
  EXPECT_NE(reader, -1);
  EXPECT_GE(api.InitCard(reader, application), 1);
  return reader;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  ASSERT_EQ(written, bytes.size());
}

}  // namespace tvtest
