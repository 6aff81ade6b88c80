#include <cstdio>

#include "standins/tvkey32/store/reader_set.h"
#include "tools/keysim/commands.h"

namespace tv::keysim::tool {

std::string ErrorText(DWORD error) {
  char text[512] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                 sizeof text, nullptr);
  std::string message(text, n);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
    message.pop_back();
  }
  char code[16];
  snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(error));
  return message.empty() ? std::string("error ") + code : message + " (" + code + ")";
}

int Refuse(const std::string& message) {
  fprintf(stderr, "keysim: %s\n", message.c_str());
  return kExitFailed;
}

int Failed(const std::string& what, DWORD error) { return Refuse(what + ": " + ErrorText(error)); }

bool ResolveKey(const std::string& directory, const std::string& reference, KeyPlace& place, std::string& problem) {
  if (IsContainerPath(reference)) {
    place = ContainerPlace(reference);
    return true;
  }
  if (const char* p = KeyNameProblem(reference)) {
    problem = std::string(p) + " (or give the full path of a .tva container file)";
    return false;
  }
  place = NamedKeyPlace(directory, reference);
  return true;
}

bool SettingsFromOptions(const Invocation& in, KeySettings& settings, std::string& problem) {
  static const std::string kNone;
  settings.label = in.Value("--label", kNone);
  settings.pin = ToSecret(in.Value("--pin", kNone));
  std::uint32_t number = 0;
  if (in.Has("--attempts")) {
    if (!ParseUnsigned(in.Value("--attempts", kNone), kMaxAttempts, number)) {
      problem = "--attempts takes a number from 0 (no attempt count) to 99";
      return false;
    }
    settings.attempts = static_cast<int>(number);
  }
  if (in.Has("--capacity")) {
    if (!ParseUnsigned(in.Value("--capacity", kNone), kMaxCapacity, number)) {
      problem = "--capacity takes a number of bytes up to 1048576";
      return false;
    }
    settings.capacity = number;
  }
  if (const char* p = SettingsProblem(settings)) {
    problem = p;
    return false;
  }
  return true;
}

}  // namespace tv::keysim::tool
