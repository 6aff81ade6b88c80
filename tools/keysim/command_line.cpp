#include "tools/keysim/command_line.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "standins/tvkey32/tvkey32_api.h"

namespace tv::keysim::tool {

const std::string& Invocation::Value(const char* option, const std::string& fallback) const {
  const auto it = options.find(option);
  return it == options.end() ? fallback : it->second;
}

bool ParseInvocation(std::span<char* const> words, std::span<const OptionSpec> allowed, Invocation& out,
                     std::string& problem) {
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string word = words[i];
    if (word.rfind("--", 0) != 0) {
      out.args.push_back(word);
      continue;
    }
    const auto spec = std::find_if(allowed.begin(), allowed.end(), [&](const OptionSpec& s) { return word == s.name; });
    if (spec == allowed.end()) {
      problem = "unknown option " + word;
      return false;
    }
    if (!spec->takesValue) {
      out.options[word] = "";
      continue;
    }
    if (i + 1 == words.size()) {
      problem = "option " + word + " needs a value";
      return false;
    }
    out.options[word] = words[++i];
  }
  return true;
}

bool ParseUnsigned(std::string_view text, std::uint32_t max, std::uint32_t& out) {
  const std::string s(text);
  if (s.empty() || s[0] == '-' || s[0] == '+') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = strtoull(s.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || value > max) return false;
  out = static_cast<std::uint32_t>(value);
  return true;
}

bool ParseSigned(std::string_view text, std::int32_t& out) {
  const std::string s(text);
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long long value = strtoll(s.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || value < INT32_MIN || value > INT32_MAX) return false;
  out = static_cast<std::int32_t>(value);
  return true;
}

bool ParseCount(std::string_view text, std::uint32_t& out) {
  if (text == "always") {
    out = tvkey32::kFaultAlways;
    return true;
  }
  return ParseUnsigned(text, tvkey32::kFaultAlways - 1, out) && out > 0;
}

}  // namespace tv::keysim::tool
