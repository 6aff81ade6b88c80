// One reader for the NIST CAVP / RFC style vector files ("KEY = VALUE"
// lines, "[section]" headers, "#" comments, records separated by blank lines).
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tvtest {

struct VectorRecord {
  std::string section;                        // last "[...]" header seen, without brackets
  std::map<std::string, std::string> fields;  // keys as written in the file
  int line = 0;                               // first line of the record, for messages

  bool Has(const std::string& key) const;
  const std::string& Get(const std::string& key) const;  // empty when absent
  std::vector<std::uint8_t> Bytes(const std::string& key) const;  // hex field
};

// Every record of the file; empty (and a gtest failure) when it cannot be read.
std::vector<VectorRecord> ReadVectorFile(const std::string& path);

// Root of Debian's python3-cryptography-vectors data as a Windows path (Z:\...).
std::string VectorsRoot();
// A file under VectorsRoot(), given with forward slashes ("hashes/SHA1/x.rsp").
std::string VectorPath(std::string_view relative);

// Bytes of a hex string (either case); empty and a gtest failure when the
// string is not hex.
std::vector<std::uint8_t> FromHex(std::string_view hex);
std::string ToHex(const std::uint8_t* data, std::size_t size);

}  // namespace tvtest
