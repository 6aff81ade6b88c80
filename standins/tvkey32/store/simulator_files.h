// The files of a simulator directory:
//   readers.tks        the reader set and the Key in each reader
//   faults.tks         injected faults (absent when there are none)
//   keys\<name>.tvk    one file per Key
// and ".tva" container files anywhere, each of which is a Key of its own.
// Every file is a checked record (checked_record.h) replaced atomically
// (atomic_file.h); callers hold the CrossProcessLock of the file's scope.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

#include "standins/tvkey32/store/fault_table.h"
#include "standins/tvkey32/store/key_state.h"
#include "standins/tvkey32/store/reader_set.h"

namespace tv::keysim {

enum class LoadStatus { Ok, Missing, Empty, Damaged, UnknownVersion, IoError };

template <class T>
struct Loaded {
  LoadStatus status = LoadStatus::Missing;
  DWORD error = 0;  // for IoError
  T value{};
  bool Ok() const { return status == LoadStatus::Ok; }
};

const char* LoadStatusName(LoadStatus status);

// Where a Key's file is, and the scope of the lock that guards it: the
// simulator directory for its own Keys, the file itself for a container.
struct KeyPlace {
  std::string file;
  std::string lockScope;
  bool container = false;
};

KeyPlace NamedKeyPlace(const std::string& directory, std::string_view keyName);
KeyPlace ContainerPlace(const std::string& path);

Loaded<KeyState> LoadKey(const KeyPlace& place);
DWORD SaveKey(const KeyPlace& place, const KeyState& key);
DWORD DeleteKeyFile(const KeyPlace& place);

// A missing reader set or fault table loads as an empty one. Without a
// simulator directory (an empty name) nothing loads or saves.
Loaded<ReaderSet> LoadReaderSet(const std::string& directory);
DWORD SaveReaderSet(const std::string& directory, const ReaderSet& set);
Loaded<FaultTable> LoadFaultTable(const std::string& directory);
// An empty table removes the file.
DWORD SaveFaultTable(const std::string& directory, const FaultTable& table);
// Cheap test made before every call of an export.
bool HasFaultTable(const std::string& directory);

}  // namespace tv::keysim
