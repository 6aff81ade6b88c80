// The readers of a simulator directory and the Key inserted in each. The
// generation counts changes of the set (readers added or removed), which is
// what AnyReadersChanges reports; every insertion of a Key gets a new serial,
// so a Key removed and put back is told apart from one that stayed.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "standins/tvkey32/store/secret.h"

namespace tv::keysim {

inline constexpr std::size_t kMaxReaderNameLength = 250;
inline constexpr std::size_t kMaxReaders = 64;
inline constexpr std::size_t kMaxKeyNameLength = 64;

struct Reader {
  std::string name;
  int type = 0;             // tvkey32::ReaderType
  std::string keyName;      // empty: no Key inserted
  std::uint32_t insertion = 0;
};

struct ReaderSet {
  std::uint32_t generation = 0;
  std::uint32_t nextInsertion = 1;
  std::vector<Reader> readers;

  // Names compare without regard to case.
  Reader* Find(std::string_view name);
  const Reader* Find(std::string_view name) const;
  const Reader* HolderOf(std::string_view keyName) const;
};

// A full path ("X:\..." or "\\...") whose name ends in ".tva", in any case:
// such a reader name is a container file, a Key in a reader of its own.
bool IsContainerPath(std::string_view name);

// Why a reader of this name and type cannot be added, or null. Disk-drive
// readers (type 40) must end in their drive root, such as "A:\"; container
// file paths are no reader names.
const char* ReaderNameProblem(std::string_view name, int type);

// Why this is not a valid Key name (letters, digits, '.', '-', '_'; not
// starting with '.'; at most 64 characters), or null.
const char* KeyNameProblem(std::string_view name);

bool EqualNoCase(std::string_view a, std::string_view b);

SecretBytes EncodeReaderSet(const ReaderSet& set);
std::optional<ReaderSet> DecodeReaderSet(std::span<const std::uint8_t> payload);

}  // namespace tv::keysim
