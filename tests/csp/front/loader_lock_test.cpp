// The provider's first load beside a thread that uses windows must never
// hang: its attach may not wait for anything another thread can hold. Each
// round is a fresh process (only the first load runs the attach), and the
// rounds start the load at different moments of the other thread's display
// driver start-up (measured: an attach that loads comctl32 hangs when it
// meets the start-up 10 to 40 ms in). The bound on a round only tells a hang
// from a slow start.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/isolation.h"

namespace {

constexpr int kRounds = 20;
constexpr int kDelayStepMs = 3;
constexpr DWORD kHangBoundMs = 30000;

TEST(LoaderLock, FirstLoadBesideAWindowThreadNeverHangs) {
  const std::string child = "\"" + tvtest::ProgramDirectory() + "\\acquire_beside_ui.exe\" ";
  for (int round = 0; round < kRounds; ++round) {
    const int delay = round * kDelayStepMs;
    // -1: the load was still hanging at the bound (or the child did not start).
    ASSERT_EQ(tvtest::RunProcess(child + std::to_string(delay), kHangBoundMs), 0) << "load after " << delay << " ms";
  }
}

}  // namespace
