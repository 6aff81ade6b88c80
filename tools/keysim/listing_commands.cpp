// list, dump, dir: the simulator's state as text.
#include <cstdio>
#include <string>
#include <vector>

#include "standins/tvkey32/store/cross_process_lock.h"
#include "standins/tvkey32/store/locked_update.h"
#include "standins/tvkey32/tvkey32_api.h"
#include "tools/keysim/commands.h"

namespace tv::keysim::tool {
namespace {

std::string Formatted(const char* format, auto... values) {
  char text[512];
  snprintf(text, sizeof text, format, values...);
  return text;
}

std::string Hex(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (const std::uint8_t b : bytes) text += Formatted("%02X", b);
  return text;
}

const char* ReaderTypeName(int type) {
  switch (type) {
    case tvkey32::kReaderHardware: return "hardware";
    case tvkey32::kReaderDiskDrive: return "disk drive, type 40";
    default: return "unknown type";
  }
}

const char* KeyStateName(const KeyState& key) {
  if (key.faulty) return "faulty";
  if (!key.formatted) return "not formatted";
  if (key.finallyBlocked) return "finally blocked";
  if (IsBlocked(key)) return "blocked";
  return "ready";
}

std::string DescribeKey(const KeyState& key) {
  std::string text = KeyStateName(key);
  if (key.formatted) {
    text += key.attemptsMax == 0 ? ", no attempt count"
                                 : Formatted(", %d of %d attempts left", key.attemptsLeft, key.attemptsMax);
    text += HasPin(key) ? ", PIN set" : ", no PIN";
    text += ", label \"" + key.label + "\"";
  }
  text += ", card ID " + Hex(key.cardId);
  text += Formatted(", %lu of %lu bytes used", static_cast<unsigned long>(UsedMemory(key)),
                 static_cast<unsigned long>(key.capacity));
  if (!key.bir.empty()) text += Formatted(", biometric record of %zu bytes", key.bir.size());
  return text;
}

std::string DescribeLoadedKey(const Loaded<KeyState>& loaded) {
  if (loaded.Ok()) return DescribeKey(loaded.value);
  if (loaded.status == LoadStatus::Empty) return "empty container file (a blank Key without PIN)";
  return std::string(LoadStatusName(loaded.status)) + " file (a faulty Key to its reader)";
}

std::vector<std::string> KeyNames(const std::string& directory) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((directory + "\\keys\\*.tvk").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string file = found.cFileName;
    names.push_back(file.substr(0, file.size() - 4));
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

// "every time", "once more", "3 more times".
std::string Repeats(std::uint32_t remaining) {
  if (remaining == tvkey32::kFaultAlways) return "every time";
  return remaining == 1 ? std::string("once more") : Formatted("%lu more times", static_cast<unsigned long>(remaining));
}

void PrintReaders(const ReaderSet& set) {
  printf("Readers:\n");
  if (set.readers.empty()) printf("  (none)\n");
  for (const Reader& r : set.readers) {
    printf("  \"%s\" (%s): %s\n", r.name.c_str(), ReaderTypeName(r.type),
           r.keyName.empty() ? "no Key" : ("Key " + r.keyName).c_str());
  }
}

void PrintKeys(const std::string& directory, const ReaderSet& set) {
  printf("Keys:\n");
  const std::vector<std::string> names = KeyNames(directory);
  if (names.empty()) printf("  (none)\n");
  for (const std::string& name : names) {
    std::string where;
    if (const Reader* holder = set.HolderOf(name)) where = ", in \"" + holder->name + "\"";
    printf("  %s: %s%s\n", name.c_str(), DescribeLoadedKey(LoadKey(NamedKeyPlace(directory, name))).c_str(),
           where.c_str());
  }
}

void PrintFaults(const Loaded<FaultTable>& faults) {
  printf("Faults:\n");
  if (!faults.Ok()) {
    printf("  fault table %s (clear-faults resets it)\n", LoadStatusName(faults.status));
    return;
  }
  if (faults.value.Empty()) printf("  (none)\n");
  for (const OperationFault& f : faults.value.operations) {
    printf("  %s: fails with 0x%08lX, %s\n", f.operation.c_str(), static_cast<unsigned long>(f.error),
           Repeats(f.remaining).c_str());
  }
  for (const ForcedStatus& s : faults.value.statuses) {
    printf("  InitCard on \"%s\": returns %d, %s\n", s.reader.c_str(), static_cast<int>(s.status),
           Repeats(s.remaining).c_str());
  }
}

void PrintHex(std::span<const std::uint8_t> bytes) {
  for (std::size_t row = 0; row < bytes.size(); row += 16) {
    std::string hex, text;
    for (std::size_t i = row; i < row + 16; ++i) {
      hex += i < bytes.size() ? Formatted("%02X ", bytes[i]) : std::string("   ");
      if (i < bytes.size()) text += bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : '.';
    }
    printf("  %08zX  %s |%s|\n", row, hex.c_str(), text.c_str());
  }
}

void PrintApplication(std::uint32_t number, const Application& app) {
  printf("Application %lu: values 0x%08lX 0x%08lX, %zu bytes\n", static_cast<unsigned long>(number),
         static_cast<unsigned long>(app.value1), static_cast<unsigned long>(app.value2), app.data.size());
  PrintHex(app.data);
}

}  // namespace

int RunList(const Invocation&, const std::string& directory) {
  CrossProcessLock lock(directory);
  if (lock.Error() != 0) return Failed("cannot lock the simulator", lock.Error());
  const Loaded<ReaderSet> set = LoadReaderSet(directory);
  printf("Simulator directory: %s\n", directory.c_str());
  if (!set.Ok()) printf("The reader set is %s.\n", LoadStatusName(set.status));
  PrintReaders(set.value);
  PrintKeys(directory, set.value);
  PrintFaults(LoadFaultTable(directory));
  return kExitOk;
}

int RunDump(const Invocation& in, const std::string& directory) {
  KeyPlace place;
  std::string problem;
  if (!ResolveKey(directory, in.args[0], place, problem)) return Refuse(problem);
  std::uint32_t only = 0;
  if (in.Has("--app") && !ParseUnsigned(in.Value("--app", ""), 0xFFFFFFFF, only)) {
    return Refuse("--app takes an application number");
  }
  CrossProcessLock lock(place.lockScope);
  if (lock.Error() != 0) return Failed("cannot lock the simulator", lock.Error());
  const Loaded<KeyState> loaded = LoadKey(place);
  if (loaded.status == LoadStatus::Missing) return Refuse("there is no Key " + in.args[0]);
  if (!loaded.Ok()) return Refuse("Key " + in.args[0] + ": " + DescribeLoadedKey(loaded));
  const KeyState& key = loaded.value;
  printf("Key %s: %s\n", in.args[0].c_str(), DescribeKey(key).c_str());
  for (const auto& [number, app] : key.applications) {
    if (!in.Has("--app") || number == only) PrintApplication(number, app);
  }
  if (!in.Has("--app")) {
    printf("Biometric record: %zu bytes\n", key.bir.size());
    PrintHex(key.bir);
  }
  return kExitOk;
}

int RunDirectory(const Invocation&, const std::string& directory) {
  printf("%s\n", directory.c_str());
  return kExitOk;
}

}  // namespace tv::keysim::tool
