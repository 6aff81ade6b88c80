// keysim: manages the Key simulator's readers, Keys and injected faults.
#include <cstdio>
#include <cstring>
#include <span>

#include "standins/tvkey32/store/simulator_directory.h"
#include "tools/keysim/commands.h"

namespace tv::keysim::tool {
namespace {

constexpr OptionSpec kKeyOptions[] = {
    {"--label", true}, {"--pin", true}, {"--attempts", true}, {"--capacity", true}, {"--unformatted", false}};
constexpr OptionSpec kFormatOptions[] = {{"--label", true}, {"--pin", true}, {"--attempts", true}, {"--capacity", true}};
constexpr OptionSpec kDiskOption[] = {{"--disk", false}};
constexpr OptionSpec kFinalOption[] = {{"--final", false}};
constexpr OptionSpec kAppOption[] = {{"--app", true}};

struct Command {
  const char* name;
  const char* arguments;
  const char* summary;
  std::size_t minArgs;
  std::size_t maxArgs;
  std::span<const OptionSpec> options;
  CommandFn run;
};

const Command kCommands[] = {
    {"list", "", "list readers, Keys and faults", 0, 0, {}, RunList},
    {"dir", "", "print the simulator directory", 0, 0, {}, RunDirectory},
    {"add-reader", "NAME [--disk]", "add a reader (--disk: a disk-drive reader, NAME ending in its drive root)", 1, 1,
     kDiskOption, RunAddReader},
    {"remove-reader", "NAME", "remove a reader (a Key in it stays, out of any reader)", 1, 1, {},
     RunRemoveReader},
    {"create-key", "KEY [--label TEXT] [--pin PIN] [--attempts N] [--capacity BYTES] [--unformatted]",
     "create a formatted Key (3 attempts, 16384 bytes, no PIN unless given)", 1, 1, kKeyOptions, RunCreateKey},
    {"format", "KEY [--label TEXT] [--pin PIN] [--attempts N] [--capacity BYTES]",
     "format a Key: erase its data and record, set label, PIN, attempts, capacity", 1, 1, kFormatOptions, RunFormat},
    {"delete-key", "KEY", "delete a Key that is in no reader", 1, 1, {}, RunDeleteKey},
    {"insert", "KEY READER", "insert a Key into an empty reader", 2, 2, {}, RunInsert},
    {"eject", "READER", "remove the Key from a reader", 1, 1, {}, RunEject},
    {"block", "KEY [--final]", "block the PIN (--final: finally, until formatted)", 1, 1, kFinalOption, RunBlock},
    {"unblock", "KEY", "lift a block and restore the attempts", 1, 1, {}, RunUnblock},
    {"set-pin", "KEY PIN", "set the PIN", 2, 2, {}, RunSetPin},
    {"clear-pin", "KEY", "switch PIN protection off", 1, 1, {}, RunClearPin},
    {"set-faulty", "KEY on|off", "make the Key faulty (InitCard -3) or sound again", 2, 2, {}, RunSetFaulty},
    {"set-app-info", "KEY APP VALUE1 VALUE2", "set the two values GetApplicationInfo reports", 4, 4, {},
     RunSetAppInfo},
    {"dump", "KEY [--app N]", "show a Key and its data areas in hex", 1, 1, kAppOption, RunDump},
    {"set-fault", "OPERATION COUNT|always ERROR", "make the next COUNT calls of an export fail with ERROR", 3, 3,
     {}, RunSetFault},
    {"force-status", "READER STATUS [COUNT|always]", "make the next COUNT InitCard calls on READER return STATUS", 2,
     3, {}, RunForceStatus},
    {"clear-faults", "", "remove all injected faults", 0, 0, {}, RunClearFaults},
};

void PrintUsage(FILE* out) {
  fprintf(out,
          "Usage: keysim COMMAND [ARGUMENTS]\n"
          "Manages the Key simulator behind tvkey32.dll.\n\n");
  for (const Command& c : kCommands) fprintf(out, "  %s %s\n      %s\n", c.name, c.arguments, c.summary);
  fprintf(out,
          "\nKEY is a Key name (letters, digits, '.', '-', '_') or the full path of a\n"
          "\".tva\" container file, which is a Key in a reader of its own.\n"
          "Numbers may be decimal or 0x-hexadecimal.\n"
          "The simulator directory is %%TV_KEYSIM_DIR%%, else the registry value\n"
          "HKCU\\Software\\Tavrin\\KeySim \"Directory\", else\n"
          "%%LOCALAPPDATA%%\\Tavrin\\KeySim.\n"
          "Exit codes: 0 done, 1 refused or failed (nothing changed), 2 usage error.\n");
}

int UsageError(const std::string& problem) {
  fprintf(stderr, "keysim: %s\nRun \"keysim help\" for the commands.\n", problem.c_str());
  return kExitUsage;
}

const Command* FindCommand(const char* name) {
  for (const Command& c : kCommands) {
    if (strcmp(c.name, name) == 0) return &c;
  }
  return nullptr;
}

int Run(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  const std::string name = argv[1];
  if (name == "help" || name == "--help" || name == "-h" || name == "/?") {
    PrintUsage(stdout);
    return kExitOk;
  }
  const Command* command = FindCommand(argv[1]);
  if (!command) return UsageError("unknown command " + name);
  Invocation in;
  std::string problem;
  if (!ParseInvocation({argv + 2, static_cast<std::size_t>(argc - 2)}, command->options, in, problem)) {
    return UsageError(problem);
  }
  if (in.args.size() < command->minArgs || in.args.size() > command->maxArgs) {
    return UsageError(std::string("usage: keysim ") + command->name + " " + command->arguments);
  }
  const std::string directory = SimulatorDirectory();
  if (directory.empty()) return Refuse("no simulator directory (set TV_KEYSIM_DIR)");
  return command->run(in, directory);
}

}  // namespace
}  // namespace tv::keysim::tool

int main(int argc, char** argv) { return tv::keysim::tool::Run(argc, argv); }
