#include "standins/tvkey32/dll/reader_changes.h"

#include <cctype>
#include <map>

namespace tv::keysim {
namespace {

std::map<std::string, std::uint32_t>& KnownGenerations() {
  static std::map<std::string, std::uint32_t> known;
  return known;
}

std::string DirectoryKey(std::string directory) {
  for (char& c : directory) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return directory;
}

}  // namespace

bool TakeReaderSetChange(const std::string& directory, std::uint32_t generation) {
  const auto [it, first] = KnownGenerations().try_emplace(DirectoryKey(directory), generation);
  const bool changed = !first && it->second != generation;
  it->second = generation;
  return changed;
}

void NoteReaderSetSeen(const std::string& directory, std::uint32_t generation) {
  KnownGenerations().try_emplace(DirectoryKey(directory), generation);
}

}  // namespace tv::keysim
