// create-key, format, delete-key, block, unblock, set-pin, clear-pin,
// set-faulty, set-app-info.
#include <cstdio>

#include "standins/tvkey32/store/cross_process_lock.h"
#include "standins/tvkey32/store/locked_update.h"
#include "tools/keysim/commands.h"

namespace tv::keysim::tool {
namespace {

// Applies `change` to the Key named by the first argument and saves it; a
// non-empty refusal from `change` leaves the Key untouched.
template <class Change>
int ChangeKey(const Invocation& in, const std::string& directory, const char* done, Change change) {
  KeyPlace place;
  std::string problem;
  if (!ResolveKey(directory, in.args[0], place, problem)) return Refuse(problem);
  std::string refusal;
  const DWORD error = UpdateKeyFile(place, [&](KeyState& key) -> DWORD {
    refusal = change(key);
    return refusal.empty() ? 0 : kRefusedChange;
  });
  if (!refusal.empty()) return Refuse(refusal);
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return Refuse("there is no Key " + in.args[0]);
  if (error != 0) return Failed("cannot change Key " + in.args[0], error);
  printf("Key %s: %s.\n", in.args[0].c_str(), done);
  return kExitOk;
}

std::string NeedsFormatting(const KeyState& key) {
  return key.formatted ? std::string() : std::string("the Key is not formatted");
}

bool PinProblem(const std::string& pin, std::string& problem) {
  KeySettings settings;
  settings.pin = ToSecret(pin);
  if (const char* p = SettingsProblem(settings)) problem = p;
  return !problem.empty();
}

}  // namespace

int RunCreateKey(const Invocation& in, const std::string& directory) {
  KeyPlace place;
  KeySettings settings;
  std::string problem;
  if (!ResolveKey(directory, in.args[0], place, problem) || !SettingsFromOptions(in, settings, problem)) {
    return Refuse(problem);
  }
  CrossProcessLock lock(place.lockScope);
  if (lock.Error() != 0) return Failed("cannot lock the simulator", lock.Error());
  const LoadStatus existing = LoadKey(place).status;
  if (existing != LoadStatus::Missing && existing != LoadStatus::Empty) {
    return Refuse("Key " + in.args[0] + " exists already (format changes it)");
  }
  const KeyState key = in.Has("--unformatted") ? MakeUnformattedKey(settings.capacity) : MakeFormattedKey(settings);
  if (const DWORD error = SaveKey(place, key)) return Failed("cannot create Key " + in.args[0], error);
  printf("Created Key %s.\n", in.args[0].c_str());
  return kExitOk;
}

int RunFormat(const Invocation& in, const std::string& directory) {
  KeySettings settings;
  std::string problem;
  if (!SettingsFromOptions(in, settings, problem)) return Refuse(problem);
  return ChangeKey(in, directory, "formatted", [&](KeyState& key) {
    Format(key, settings);
    return std::string();
  });
}

int RunDeleteKey(const Invocation& in, const std::string& directory) {
  KeyPlace place;
  std::string problem;
  if (!ResolveKey(directory, in.args[0], place, problem)) return Refuse(problem);
  CrossProcessLock lock(place.lockScope);
  if (lock.Error() != 0) return Failed("cannot lock the simulator", lock.Error());
  if (!place.container) {
    const Loaded<ReaderSet> set = LoadReaderSet(directory);
    if (!set.Ok()) return Failed("cannot read the readers", LoadError(set.status, set.error));
    if (const Reader* holder = set.value.HolderOf(in.args[0])) {
      return Refuse("Key " + in.args[0] + " is in reader \"" + holder->name + "\"; eject it first");
    }
  }
  const DWORD error = DeleteKeyFile(place);
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return Refuse("there is no Key " + in.args[0]);
  if (error != 0) return Failed("cannot delete Key " + in.args[0], error);
  printf("Deleted Key %s.\n", in.args[0].c_str());
  return kExitOk;
}

int RunBlock(const Invocation& in, const std::string& directory) {
  const bool finally = in.Has("--final");
  return ChangeKey(in, directory, finally ? "finally blocked" : "blocked", [&](KeyState& key) {
    const std::string refusal = NeedsFormatting(key);
    if (refusal.empty()) Block(key, finally);
    return refusal;
  });
}

int RunUnblock(const Invocation& in, const std::string& directory) {
  return ChangeKey(in, directory, "unblocked", [](KeyState& key) {
    const std::string refusal = NeedsFormatting(key);
    if (refusal.empty()) Unblock(key);
    return refusal;
  });
}

int RunSetPin(const Invocation& in, const std::string& directory) {
  std::string problem;
  if (PinProblem(in.args[1], problem)) return Refuse(problem);
  return ChangeKey(in, directory, "PIN set", [&](KeyState& key) {
    const std::string refusal = NeedsFormatting(key);
    if (refusal.empty()) SetPin(key, in.args[1]);
    return refusal;
  });
}

int RunClearPin(const Invocation& in, const std::string& directory) {
  return ChangeKey(in, directory, "PIN protection off", [](KeyState& key) {
    const std::string refusal = NeedsFormatting(key);
    if (refusal.empty()) SetPin(key, "");
    return refusal;
  });
}

int RunSetFaulty(const Invocation& in, const std::string& directory) {
  const std::string& state = in.args[1];
  if (state != "on" && state != "off") return Refuse("set-faulty takes on or off");
  return ChangeKey(in, directory, state == "on" ? "faulty" : "no longer faulty", [&](KeyState& key) {
    key.faulty = state == "on";
    return std::string();
  });
}

int RunSetAppInfo(const Invocation& in, const std::string& directory) {
  std::uint32_t application = 0, value1 = 0, value2 = 0;
  if (!ParseUnsigned(in.args[1], 0xFFFFFFFF, application) || !ParseUnsigned(in.args[2], 0xFFFFFFFF, value1) ||
      !ParseUnsigned(in.args[3], 0xFFFFFFFF, value2)) {
    return Refuse("set-app-info takes an application number and two 32-bit values");
  }
  return ChangeKey(in, directory, "application values set", [&](KeyState& key) {
    SetApplicationValues(key, application, value1, value2);
    return std::string();
  });
}

}  // namespace tv::keysim::tool
