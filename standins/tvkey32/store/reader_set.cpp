#include "standins/tvkey32/store/reader_set.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "standins/tvkey32/store/byte_codec.h"
#include "standins/tvkey32/tvkey32_api.h"

namespace tv::keysim {
namespace {

bool EndsInDriveRoot(std::string_view name) {
  if (name.size() < 3) return false;
  const std::string_view root = name.substr(name.size() - 3);
  return std::isalpha(static_cast<unsigned char>(root[0])) && root[1] == ':' && root[2] == '\\';
}

bool IsKeyNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
}

}  // namespace

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

Reader* ReaderSet::Find(std::string_view name) {
  const auto it = std::find_if(readers.begin(), readers.end(), [&](const Reader& r) { return EqualNoCase(r.name, name); });
  return it == readers.end() ? nullptr : &*it;
}

const Reader* ReaderSet::Find(std::string_view name) const { return const_cast<ReaderSet*>(this)->Find(name); }

bool IsContainerPath(std::string_view name) {
  const bool driveRoot = name.size() >= 4 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':' &&
                         name[2] == '\\';
  const bool unc = name.size() >= 3 && name[0] == '\\' && name[1] == '\\';
  return (driveRoot || unc) && name.size() >= 5 && EqualNoCase(name.substr(name.size() - 4), ".tva");
}

const Reader* ReaderSet::HolderOf(std::string_view keyName) const {
  const auto it =
      std::find_if(readers.begin(), readers.end(), [&](const Reader& r) { return EqualNoCase(r.keyName, keyName); });
  return keyName.empty() || it == readers.end() ? nullptr : &*it;
}

const char* ReaderNameProblem(std::string_view name, int type) {
  if (name.empty()) return "the reader name is empty";
  if (name.size() > kMaxReaderNameLength) return "the reader name is longer than 250 characters";
  if (std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
    return "the reader name holds control characters";
  }
  if (IsContainerPath(name)) return "a full path ending in .tva names a container file, not a reader";
  if (type == tvkey32::kReaderDiskDrive && !EndsInDriveRoot(name)) {
    return "a disk-drive reader's name must end in its drive root, such as \"A:\\\"";
  }
  return nullptr;
}

const char* KeyNameProblem(std::string_view name) {
  if (name.empty()) return "the Key name is empty";
  if (name.size() > kMaxKeyNameLength) return "the Key name is longer than 64 characters";
  if (name.front() == '.' || !std::all_of(name.begin(), name.end(), IsKeyNameChar)) {
    return "a Key name is made of letters, digits, '.', '-' and '_' and does not start with '.'";
  }
  return nullptr;
}

SecretBytes EncodeReaderSet(const ReaderSet& set) {
  ByteWriter w;
  w.U32(set.generation);
  w.U32(set.nextInsertion);
  w.U32(static_cast<std::uint32_t>(set.readers.size()));
  for (const Reader& r : set.readers) {
    w.Text(r.name);
    w.U32(static_cast<std::uint32_t>(r.type));
    w.Text(r.keyName);
    w.U32(r.insertion);
  }
  return std::move(w.Output());
}

std::optional<ReaderSet> DecodeReaderSet(std::span<const std::uint8_t> payload) {
  ByteReader r(payload);
  ReaderSet set;
  set.generation = r.U32();
  set.nextInsertion = r.U32();
  const std::uint32_t count = r.U32();
  if (count > kMaxReaders) return std::nullopt;
  for (std::uint32_t i = 0; i < count && r.Ok(); ++i) {
    Reader reader;
    reader.name = r.Text(kMaxReaderNameLength);
    reader.type = static_cast<int>(r.U32());
    reader.keyName = r.Text(kMaxKeyNameLength);
    reader.insertion = r.U32();
    if (ReaderNameProblem(reader.name, reader.type) || set.Find(reader.name)) return std::nullopt;
    if (!reader.keyName.empty() && (KeyNameProblem(reader.keyName) || set.HolderOf(reader.keyName))) {
      return std::nullopt;
    }
    set.readers.push_back(std::move(reader));
  }
  if (!r.AtEnd()) return std::nullopt;
  return set;
}

}  // namespace tv::keysim
