// Runs a test on the accelerated or on the portable code of the primitives.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "cpu/cpu_features.h"

namespace tvtest {

enum class CodePath { Accelerated, Portable };

inline std::string CodePathName(CodePath path) {
  return path == CodePath::Accelerated ? "Accelerated" : "Portable";
}

// Forbids acceleration for its lifetime when asked for the portable path;
// acceleration is allowed again at the end.
class CodePathScope {
 public:
  explicit CodePathScope(CodePath path) {
    tv::crypto::cpu::AllowAcceleration(path == CodePath::Accelerated);
  }
  ~CodePathScope() { tv::crypto::cpu::AllowAcceleration(true); }
  CodePathScope(const CodePathScope&) = delete;
  CodePathScope& operator=(const CodePathScope&) = delete;
};

}  // namespace tvtest
