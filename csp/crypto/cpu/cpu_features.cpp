#include "cpu/cpu_features.h"

#include <cpuid.h>

#include <atomic>

namespace tv::crypto::cpu {
namespace {

struct Features {
  bool aesNi = false;
  bool shaNi = false;
  bool avx512Ifma = false;
};

// Whether the operating system saves the AVX-512 state on a context switch:
// the SSE, AVX, opmask and both halves of the upper ZMM registers.
bool OsSavesAvx512State() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || (ecx & bit_OSXSAVE) == 0) return false;
  unsigned low = 0, high = 0;
  __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  constexpr unsigned kAvx512State = 0xE6;
  return (low & kAvx512State) == kAvx512State;
}

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
    features.avx512Ifma =
        (ebx & bit_AVX512F) != 0 && (ebx & bit_AVX512IFMA) != 0 && OsSavesAvx512State();
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
bool ProcessorHasAvx512Ifma() { return Processor().avx512Ifma; }
bool UseAesNi() { return AccelerationAllowed() && ProcessorHasAesNi(); }
bool UseShaNi() { return AccelerationAllowed() && ProcessorHasShaNi(); }
bool UseAvx512Ifma() { return AccelerationAllowed() && ProcessorHasAvx512Ifma(); }

void AllowAcceleration(bool allowed) {
  g_accelerationAllowed.store(allowed, std::memory_order_relaxed);
}

}  // namespace tv::crypto::cpu
