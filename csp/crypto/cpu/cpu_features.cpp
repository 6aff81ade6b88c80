#include "cpu/cpu_features.h"

#include <cpuid.h>

#include <atomic>

namespace tv::crypto::cpu {
namespace {

struct Features {
  bool aesNi = false;
  bool shaNi = false;
};

Features Detect() {
  Features features;
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return features;
  const bool sse2 = (edx & bit_SSE2) != 0;
  const bool ssse3 = (ecx & bit_SSSE3) != 0;
  const bool sse41 = (ecx & bit_SSE4_1) != 0;
  features.aesNi = sse2 && sse41 && (ecx & bit_AES) != 0;
  if (__get_cpuid_max(0, nullptr) >= 7) {
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    features.shaNi = sse2 && ssse3 && sse41 && (ebx & bit_SHA) != 0;
  }
  return features;
}

const Features& Processor() {
  static const Features features = Detect();
  return features;
}

std::atomic<bool> g_accelerationAllowed{true};

bool AccelerationAllowed() { return g_accelerationAllowed.load(std::memory_order_relaxed); }

}  // namespace

bool ProcessorHasAesNi() { return Processor().aesNi; }
bool ProcessorHasShaNi() { return Processor().shaNi; }
bool UseAesNi() { return AccelerationAllowed() && ProcessorHasAesNi(); }
bool UseShaNi() { return AccelerationAllowed() && ProcessorHasShaNi(); }

void AllowAcceleration(bool allowed) {
  g_accelerationAllowed.store(allowed, std::memory_order_relaxed);
}

}  // namespace tv::crypto::cpu
