#include "vector_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <utility>

namespace tvtest {
namespace {

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Collects "KEY = VALUE" lines into records; a blank line or a "[...]"
// header ends the record being built, "#" lines are skipped.
class RecordBuilder {
 public:
  void Header(std::string_view text) {
    Flush();
    section_ = std::string(text.substr(1, text.size() - 2));
  }

  void Field(std::string_view text, int line) {
    if (current_.fields.empty()) {
      current_.section = section_;
      current_.line = line;
    }
    const auto equals = text.find('=');
    const std::string key(Trim(text.substr(0, equals)));
    const std::string value(equals == std::string_view::npos ? std::string_view{}
                                                              : Trim(text.substr(equals + 1)));
    current_.fields.insert_or_assign(key, value);
  }

  void Flush() {
    if (!current_.fields.empty()) records_.push_back(std::exchange(current_, VectorRecord{}));
  }

  std::vector<VectorRecord> Take() {
    Flush();
    return std::move(records_);
  }

 private:
  std::string section_;
  VectorRecord current_;
  std::vector<VectorRecord> records_;
};

}  // namespace

bool VectorRecord::Has(const std::string& key) const { return fields.find(key) != fields.end(); }

const std::string& VectorRecord::Get(const std::string& key) const {
  static const std::string kEmpty;
  const auto it = fields.find(key);
  return it == fields.end() ? kEmpty : it->second;
}

std::vector<std::uint8_t> VectorRecord::Bytes(const std::string& key) const {
  return FromHex(Get(key));
}

std::vector<VectorRecord> ReadVectorFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot read vector file " << path;
    return {};
  }
  RecordBuilder builder;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string_view text = Trim(line);
    if (text.empty()) {
      builder.Flush();
    } else if (text.front() == '#') {
      continue;
    } else if (text.front() == '[' && text.back() == ']') {
      builder.Header(text);
    } else {
      builder.Field(text, number);
    }
  }
  return builder.Take();
}

std::string VectorsRoot() { return "Z:\\usr\\lib\\python3\\dist-packages\\cryptography_vectors"; }

std::string VectorPath(std::string_view relative) {
  std::string path = VectorsRoot();
  path += '\\';
  for (char c : relative) path += c == '/' ? '\\' : c;
  return path;
}

std::vector<std::uint8_t> FromHex(std::string_view hex) {
  std::vector<std::uint8_t> bytes;
  if (hex.size() % 2 != 0) {
    ADD_FAILURE() << "odd-length hex string: " << hex;
    return bytes;
  }
  bytes.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexDigit(hex[i]);
    const int low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) {
      ADD_FAILURE() << "not a hex string: " << hex;
      return {};
    }
    bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  return bytes;
}

std::string ToHex(const std::uint8_t* data, std::size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * size);
  for (std::size_t i = 0; i < size; ++i) {
    hex += kDigits[data[i] >> 4];
    hex += kDigits[data[i] & 0xf];
  }
  return hex;
}

}  // namespace tvtest
