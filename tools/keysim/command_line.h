// Parsing of keysim's command line: a command name, positional arguments
// and "--name [value]" options.
#pragma once
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tv::keysim::tool {

struct OptionSpec {
  const char* name;   // with the leading "--"
  bool takesValue;
};

struct Invocation {
  std::vector<std::string> args;
  std::map<std::string, std::string> options;

  bool Has(const char* option) const { return options.count(option) > 0; }
  // The option's value, or `fallback` when it was not given.
  const std::string& Value(const char* option, const std::string& fallback) const;
};

// Parses the words after the command name. False, with `problem` set, for an
// option the command does not take or one missing its value.
bool ParseInvocation(std::span<char* const> words, std::span<const OptionSpec> allowed, Invocation& out,
                     std::string& problem);

// Whole-text numbers, decimal or 0x-hexadecimal.
bool ParseUnsigned(std::string_view text, std::uint32_t max, std::uint32_t& out);
bool ParseSigned(std::string_view text, std::int32_t& out);
// A count of uses: a number from 1, or "always".
bool ParseCount(std::string_view text, std::uint32_t& out);

}  // namespace tv::keysim::tool
