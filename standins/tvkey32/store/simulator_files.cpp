#include "standins/tvkey32/store/simulator_files.h"

#include "standins/tvkey32/store/atomic_file.h"
#include "standins/tvkey32/store/checked_record.h"
#include "standins/tvkey32/store/key_codec.h"

namespace tv::keysim {
namespace {

// Far above any sound file: a Key of the largest capacity with every field full.
constexpr std::size_t kMaxFileSize = 4 * kMaxCapacity;

std::string ReaderSetPath(const std::string& directory) { return directory + "\\readers.tks"; }
std::string FaultTablePath(const std::string& directory) { return directory + "\\faults.tks"; }
std::string KeysDirectory(const std::string& directory) { return directory + "\\keys"; }

std::string ParentOf(const std::string& path) {
  const std::size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

template <class T, class Decode>
Loaded<T> LoadRecordFile(const std::string& path, RecordKind kind, Decode decode) {
  Loaded<T> loaded;
  const FileImage image = ReadWholeFile(path, kMaxFileSize);
  switch (image.result) {
    case FileRead::Missing:
      loaded.status = LoadStatus::Missing;
      return loaded;
    case FileRead::TooLarge:
      loaded.status = LoadStatus::Damaged;
      return loaded;
    case FileRead::Error:
      loaded.status = LoadStatus::IoError;
      loaded.error = image.error;
      return loaded;
    case FileRead::Ok:
      break;
  }
  if (image.bytes.empty()) {
    loaded.status = LoadStatus::Empty;
    return loaded;
  }
  SecretBytes payload;
  const RecordCheck check = OpenRecord(image.bytes, kind, payload);
  if (check != RecordCheck::Sound) {
    loaded.status = check == RecordCheck::UnknownVersion ? LoadStatus::UnknownVersion : LoadStatus::Damaged;
    return loaded;
  }
  auto value = decode(payload);
  if (!value) {
    loaded.status = LoadStatus::Damaged;
    return loaded;
  }
  loaded.status = LoadStatus::Ok;
  loaded.value = std::move(*value);
  return loaded;
}

DWORD SaveRecordFile(const std::string& path, RecordKind kind, const SecretBytes& payload, bool createDirectory) {
  if (createDirectory) {
    const DWORD error = EnsureDirectory(ParentOf(path));
    if (error != 0) return error;
  }
  return ReplaceFileAtomically(path, SealRecord(kind, payload));
}

template <class T>
Loaded<T> NoDirectory() {
  return {LoadStatus::IoError, ERROR_PATH_NOT_FOUND, {}};
}

template <class T>
Loaded<T> MissingAsEmpty(Loaded<T> loaded) {
  if (loaded.status == LoadStatus::Missing) loaded.status = LoadStatus::Ok;
  return loaded;
}

}  // namespace

const char* LoadStatusName(LoadStatus status) {
  switch (status) {
    case LoadStatus::Ok: return "sound";
    case LoadStatus::Missing: return "missing";
    case LoadStatus::Empty: return "empty";
    case LoadStatus::Damaged: return "damaged";
    case LoadStatus::UnknownVersion: return "of a later format";
    case LoadStatus::IoError: return "unreadable";
  }
  return "unknown";
}

KeyPlace NamedKeyPlace(const std::string& directory, std::string_view keyName) {
  return {KeysDirectory(directory) + "\\" + std::string(keyName) + ".tvk", directory, false};
}

KeyPlace ContainerPlace(const std::string& path) { return {path, path, true}; }

Loaded<KeyState> LoadKey(const KeyPlace& place) {
  return LoadRecordFile<KeyState>(place.file, RecordKind::Key, [](const SecretBytes& p) { return DecodeKey(p); });
}

DWORD SaveKey(const KeyPlace& place, const KeyState& key) {
  return SaveRecordFile(place.file, RecordKind::Key, EncodeKey(key), !place.container);
}

DWORD DeleteKeyFile(const KeyPlace& place) {
  return DeleteFileA(place.file.c_str()) ? 0 : GetLastError();
}

Loaded<ReaderSet> LoadReaderSet(const std::string& directory) {
  if (directory.empty()) return NoDirectory<ReaderSet>();
  return MissingAsEmpty(LoadRecordFile<ReaderSet>(ReaderSetPath(directory), RecordKind::ReaderSet,
                                                  [](const SecretBytes& p) { return DecodeReaderSet(p); }));
}

DWORD SaveReaderSet(const std::string& directory, const ReaderSet& set) {
  if (directory.empty()) return ERROR_PATH_NOT_FOUND;
  return SaveRecordFile(ReaderSetPath(directory), RecordKind::ReaderSet, EncodeReaderSet(set), true);
}

Loaded<FaultTable> LoadFaultTable(const std::string& directory) {
  if (directory.empty()) return NoDirectory<FaultTable>();
  return MissingAsEmpty(LoadRecordFile<FaultTable>(FaultTablePath(directory), RecordKind::FaultTable,
                                                   [](const SecretBytes& p) { return DecodeFaultTable(p); }));
}

DWORD SaveFaultTable(const std::string& directory, const FaultTable& table) {
  if (directory.empty()) return ERROR_PATH_NOT_FOUND;
  if (table.Empty()) {
    if (DeleteFileA(FaultTablePath(directory).c_str())) return 0;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : error;
  }
  return SaveRecordFile(FaultTablePath(directory), RecordKind::FaultTable, EncodeFaultTable(table), true);
}

bool HasFaultTable(const std::string& directory) {
  return !directory.empty() && GetFileAttributesA(FaultTablePath(directory).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace tv::keysim
