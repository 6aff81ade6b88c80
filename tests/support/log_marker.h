// A trace-log marker file C:\TV_<tag>.log made for one test and removed
// (read-only or not) when the test ends. Tests that open the log in their
// own process use a unique tag so that parallel tests stay apart; tests of
// the provider loaded elsewhere use its tag "csp".
#pragma once
#include <string>

namespace tvtest {

class LogMarker {
 public:
  // Names the marker; no file exists until Write.
  explicit LogMarker(const std::string& tag);
  ~LogMarker();
  LogMarker(const LogMarker&) = delete;
  LogMarker& operator=(const LogMarker&) = delete;

  const std::string& Tag() const { return tag_; }
  const std::string& Path() const { return path_; }
  std::string Text() const;
  // Creates or replaces the marker with `content` (its first character sets
  // the level).
  bool Write(const std::string& content) const;

 private:
  std::string tag_, path_;
};

}  // namespace tvtest
