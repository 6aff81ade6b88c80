// add-reader, remove-reader, insert, eject.
#include <cstdio>

#include "standins/tvkey32/store/locked_update.h"
#include "standins/tvkey32/tvkey32_api.h"
#include "tools/keysim/commands.h"

namespace tv::keysim::tool {
namespace {

// Runs `change` on the reader set; a refusal prints its message.
template <class Change>
int ChangeReaders(const std::string& directory, const char* what, Change change) {
  std::string refusal;
  const DWORD error = UpdateReaderSet(directory, [&](ReaderSet& set) -> DWORD {
    refusal = change(set);
    return refusal.empty() ? 0 : kRefusedChange;
  });
  if (!refusal.empty()) return Refuse(refusal);
  return error == 0 ? kExitOk : Failed(what, error);
}

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

}  // namespace

int RunAddReader(const Invocation& in, const std::string& directory) {
  const std::string& name = in.args[0];
  const int type = in.Has("--disk") ? tvkey32::kReaderDiskDrive : tvkey32::kReaderHardware;
  if (const char* p = ReaderNameProblem(name, type)) return Refuse(p);
  const int result = ChangeReaders(directory, "cannot add the reader", [&](ReaderSet& set) -> std::string {
    if (set.Find(name)) return "there is a reader " + Quoted(name) + " already";
    if (set.readers.size() >= kMaxReaders) return "there are 64 readers already";
    set.readers.push_back({name, type, "", 0});
    ++set.generation;
    return {};
  });
  if (result == kExitOk) printf("Added reader %s.\n", Quoted(name).c_str());
  return result;
}

int RunRemoveReader(const Invocation& in, const std::string& directory) {
  const std::string& name = in.args[0];
  std::string keyName;
  const int result = ChangeReaders(directory, "cannot remove the reader", [&](ReaderSet& set) -> std::string {
    const Reader* reader = set.Find(name);
    if (!reader) return "there is no reader " + Quoted(name);
    keyName = reader->keyName;
    std::erase_if(set.readers, [&](const Reader& r) { return &r == reader; });
    ++set.generation;
    return {};
  });
  if (result != kExitOk) return result;
  printf("Removed reader %s.\n", Quoted(name).c_str());
  if (!keyName.empty()) printf("Key %s is no longer in a reader.\n", keyName.c_str());
  return kExitOk;
}

int RunInsert(const Invocation& in, const std::string& directory) {
  const std::string& keyName = in.args[0];
  const std::string& readerName = in.args[1];
  if (const char* p = KeyNameProblem(keyName)) return Refuse(p);
  const std::string keyFile = NamedKeyPlace(directory, keyName).file;
  const int result = ChangeReaders(directory, "cannot insert the Key", [&](ReaderSet& set) -> std::string {
    Reader* reader = set.Find(readerName);
    if (!reader) return "there is no reader " + Quoted(readerName);
    if (!reader->keyName.empty()) return "reader " + Quoted(reader->name) + " holds Key " + reader->keyName + " already";
    if (const Reader* holder = set.HolderOf(keyName)) return "Key " + keyName + " is in reader " + Quoted(holder->name);
    if (GetFileAttributesA(keyFile.c_str()) == INVALID_FILE_ATTRIBUTES) return "there is no Key " + keyName;
    reader->keyName = keyName;
    reader->insertion = set.nextInsertion++;
    return {};
  });
  if (result == kExitOk) printf("Inserted Key %s into reader %s.\n", keyName.c_str(), Quoted(readerName).c_str());
  return result;
}

int RunEject(const Invocation& in, const std::string& directory) {
  const std::string& readerName = in.args[0];
  std::string keyName;
  const int result = ChangeReaders(directory, "cannot remove the Key", [&](ReaderSet& set) -> std::string {
    Reader* reader = set.Find(readerName);
    if (!reader) return "there is no reader " + Quoted(readerName);
    if (reader->keyName.empty()) return "reader " + Quoted(reader->name) + " holds no Key";
    keyName = reader->keyName;
    reader->keyName.clear();
    return {};
  });
  if (result == kExitOk) printf("Removed Key %s from reader %s.\n", keyName.c_str(), Quoted(readerName).c_str());
  return result;
}

}  // namespace tv::keysim::tool
