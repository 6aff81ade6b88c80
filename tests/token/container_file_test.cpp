// Container files: the ".tva" name rules, and the search for a container as
// given, on a table of drives (order, missing media, file and create modes)
// and on the prefix's real fixed drives C: and Z:.
#include "token/container_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "tests/support/isolation.h"

namespace {

using namespace tv::token;
using tvtest::TempDir;
using tvtest::UniqueName;

struct NameCase {
  std::string name;
  bool accepted;
  std::string expected;
};

TEST(ContainerName, ExtensionAppendedOnlyToLongerNamesAndNeverCut) {
  const std::string fits(251, 'k');  // 251 + ".tva" = 255
  const NameCase cases[] = {
      {"", true, ""},
      {"abc", true, "abc"},
      {"abcd", true, "abcd"},
      {".tva", true, ".tva"},
      {"abcde", true, "abcde.tva"},
      {"key.tva", true, "key.tva"},
      {"key.TVA", true, "key.TVA"},
      {"key.tvax", true, "key.tvax.tva"},
      {fits, true, fits + ".tva"},
      {fits + "k", false, ""},                            // would need 256 with the extension
      {std::string(251, 'k') + ".TvA", true, std::string(251, 'k') + ".TvA"},  // 255 as given
      {std::string(252, 'k') + ".tva", false, ""},        // 256 as given
  };
  for (const NameCase& c : cases) {
    char out[kContainerNameSize];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(MakeContainerName(c.name.c_str(), out), c.accepted) << c.name;
    EXPECT_EQ(out, c.expected) << c.name;
  }
  char out[kContainerNameSize];
  EXPECT_FALSE(MakeContainerName(nullptr, out));
}

TEST(ContainerName, FullPaths) {
  const std::pair<const char*, bool> cases[] = {
      {"C:\\a", true}, {"z:\\", false}, {"C:\\", false}, {"\\\\server\\share\\k.tva", true},
      {"\\\\", true},  {"C:a.tva", false}, {"1:\\a.tva", false}, {"\\a.tva", false}, {"k.tva", false},
  };
  for (const auto& [name, full] : cases) EXPECT_EQ(IsFullPath(name), full) << name;
}

// Drives whose roots are directories of a temporary directory, so that a
// test decides which drive holds which file.
class DriveTable : public DriveList {
 public:
  struct Entry {
    char letter;
    UINT type;
    bool medium;
  };
  DriveTable(const TempDir& dir, std::initializer_list<Entry> entries) {
    for (const Entry& e : entries) {
      const std::string root = dir.File(std::string("drive_") + e.letter) + "\\";
      CreateDirectoryA(root.c_str(), nullptr);
      drives_.push_back({e.letter, root, e.type});
      medium_[e.letter] = e.medium;
    }
  }
  std::vector<Drive> List() const override { return drives_; }
  bool HasMedium(const Drive& drive) const override { return medium_.at(drive.letter); }

  std::string Root(char letter) const {
    for (const Drive& d : drives_) {
      if (d.letter == letter) return d.root;
    }
    return {};
  }
  // Puts an empty file at `relative` under the drive's root.
  std::string Put(char letter, const std::string& relative) const {
    const std::string path = Root(letter) + relative;
    const std::size_t slash = relative.rfind('\\');
    if (slash != std::string::npos) CreateDirectoryA((Root(letter) + relative.substr(0, slash)).c_str(), nullptr);
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << path;
    CloseHandle(file);
    return path;
  }

 private:
  std::vector<Drive> drives_;
  std::map<char, bool> medium_;
};

class ContainerSearch : public testing::Test {
 protected:
  // Listed out of order on purpose: the search orders by type, floppies last.
  ContainerSearch()
      : drives_(dir_, {{'B', DRIVE_REMOVABLE, true},
                       {'A', DRIVE_REMOVABLE, true},
                       {'C', DRIVE_FIXED, true},
                       {'E', DRIVE_CDROM, true},
                       {'F', DRIVE_REMOVABLE, false},
                       {'G', DRIVE_FIXED, true},
                       {'H', DRIVE_REMOTE, true}}) {}

  std::string Find(const std::string& name, int mode = kOpenContainerFile) {
    char path[kContainerPathSize];
    std::memset(path, 'x', sizeof path);
    const bool found = check_container(name.c_str(), path, mode, drives_);
    EXPECT_EQ(found, path[0] != '\0') << name;
    return path;
  }

  TempDir dir_;
  DriveTable drives_;
  // A full path on a drive that none of the table's roots is.
  const std::string missing_ = "Q:\\keys\\" + UniqueName("c") + ".tva";
  const std::string file_ = missing_.substr(8);
};

TEST_F(ContainerSearch, AFullPathThatExistsIsTakenAsItIs) {
  const std::string path = drives_.Put('E', file_);
  EXPECT_EQ(Find(path), path);
  EXPECT_EQ(Find(path, kOpenContainerFile2), path);
  EXPECT_EQ(Find(path, 3), "") << "an unknown file mode finds nothing";
}

TEST_F(ContainerSearch, SameDirectoryOnAnotherDriveBeforeThatDrivesRoot) {
  drives_.Put('G', file_);
  EXPECT_EQ(Find(missing_), drives_.Root('G') + file_);
  const std::string underKeys = drives_.Put('G', "keys\\" + file_);
  EXPECT_EQ(Find(missing_), underKeys);
}

struct OrderCase {
  const char* holders;  // drives holding the file
  char expected;        // the drive it is found on, 0 for none
};

TEST_F(ContainerSearch, FixedDrivesFirstThenRemovableAndCdromThenAThenB) {
  const OrderCase cases[] = {
      {"BAEGC", 'C'}, {"BAEG", 'G'}, {"BAE", 'E'}, {"BA", 'A'}, {"B", 'B'},
      {"F", 0},  // no medium: never looked at
      {"H", 0},  // a network drive is not searched
  };
  for (const OrderCase& c : cases) {
    const std::string name = UniqueName("order") + ".tva";
    for (const char* d = c.holders; *d; ++d) drives_.Put(*d, name);
    const std::string expected = c.expected ? drives_.Root(c.expected) + name : "";
    EXPECT_EQ(Find("Q:\\" + name), expected) << c.holders;
    EXPECT_EQ(Find(name), expected) << c.holders << " by its bare name";
  }
}

TEST_F(ContainerSearch, CreateModeTestsOnlyAFullPathForBeingCreatable) {
  drives_.Put('C', file_);
  EXPECT_EQ(Find(file_, kCreateContainerFile), "") << "the drives are not searched";
  EXPECT_EQ(Find(missing_, kCreateContainerFile), "") << "Q: does not exist";

  const std::string fresh = drives_.Root('G') + file_;
  EXPECT_EQ(Find(fresh, kCreateContainerFile), fresh);
  EXPECT_EQ(GetFileAttributesA(fresh.c_str()), INVALID_FILE_ATTRIBUTES) << "the probe leaves no file behind";

  const std::string existing = drives_.Root('C') + file_;
  EXPECT_EQ(Find(existing, kCreateContainerFile), existing);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

  EXPECT_EQ(Find(drives_.Root('G') + "no such directory\\" + file_, kCreateContainerFile), "");
}

TEST_F(ContainerSearch, APathLongerThanTheFieldIsRefusedNotCut) {
  // The drive's root plus the name's directories exceeds 259 characters;
  // the root plus the last component alone fits and is the one found.
  const std::string deep = "Q:\\" + std::string(250, 'd') + "\\" + file_;
  drives_.Put('G', file_);
  EXPECT_EQ(Find(deep), drives_.Root('G') + file_);
  EXPECT_EQ(Find(std::string(300, 'n') + ".tva"), "");
}

// The prefix's own drives: C: (the prefix's drive_c) and Z: (/) are fixed.
class RealDrives : public testing::Test {
 protected:
  static char AbsentDrive() {
    const DWORD mask = GetLogicalDrives();
    for (int i = 25; i >= 3; --i) {
      if (!(mask & (1u << i))) return static_cast<char>('A' + i);
    }
    return 0;
  }
  static void Touch(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    CloseHandle(file);
  }
};

TEST_F(RealDrives, ContainerMissingOnItsDriveIsFoundOnCThenZ) {
  ASSERT_EQ(GetDriveTypeA("C:\\"), static_cast<UINT>(DRIVE_FIXED));
  ASSERT_EQ(GetDriveTypeA("Z:\\"), static_cast<UINT>(DRIVE_FIXED));
  const char absent = AbsentDrive();
  ASSERT_NE(absent, 0);

  // Under Z:\tmp only: found there.
  const std::string dirOnZ = "Z:\\tmp\\" + UniqueName("tvcontainer");
  ASSERT_TRUE(CreateDirectoryA(dirOnZ.c_str(), nullptr));
  const std::string onZ = dirOnZ + "\\key.tva";
  Touch(onZ);
  char path[kContainerPathSize];
  EXPECT_TRUE(check_container((std::string(1, absent) + onZ.substr(1)).c_str(), path, kOpenContainerFile));
  EXPECT_STREQ(path, onZ.c_str());

  // The same directories on C: as well: C: comes first.
  const TempDir onC;  // C:\users\...\Temp\...
  ASSERT_EQ(onC.Path().substr(0, 3), "C:\\");
  const std::string cFile = onC.File("key.tva");
  Touch(cFile);
  EXPECT_TRUE(check_container((std::string(1, absent) + cFile.substr(1)).c_str(), path, kOpenContainerFile));
  EXPECT_STREQ(path, cFile.c_str());

  DeleteFileA(onZ.c_str());
  RemoveDirectoryA(dirOnZ.c_str());
}

}  // namespace
