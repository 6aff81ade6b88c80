#include "cpu/cpu_features.h"

#include <cpuid.h>

#include <atomic>

namespace tv::crypto::cpu {
namespace {

struct Features {
  bool aesNi = false;
  bool shaNi = false;
  bool avx2 = false;
  bool avx512Ifma = false;
};

// The register state that the operating system saves on a context switch
// (XCR0), or 0 without XSAVE support.
unsigned OsSavedState() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || (ecx & bit_OSXSAVE) == 0) return 0;
  unsigned low = 0, high = 0;
  __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return low;
}

// SSE and AVX registers; with AVX-512 also the opmask and both halves of the
// upper ZMM registers.
constexpr unsigned kAvxState = 0x06;
constexpr unsigned kAvx512State = 0xE6;

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
    const unsigned saved = OsSavedState();
    features.avx2 = (ebx & bit_AVX2) != 0 && (ebx & bit_BMI2) != 0 &&
                    (saved & kAvxState) == kAvxState;
    features.avx512Ifma = (ebx & bit_AVX512F) != 0 && (ebx & bit_AVX512IFMA) != 0 &&
                          (saved & kAvx512State) == kAvx512State;
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
bool ProcessorHasAvx2() { return Processor().avx2; }
bool ProcessorHasAvx512Ifma() { return Processor().avx512Ifma; }
bool UseAesNi() { return AccelerationAllowed() && ProcessorHasAesNi(); }
bool UseShaNi() { return AccelerationAllowed() && ProcessorHasShaNi(); }
bool UseAvx2() { return AccelerationAllowed() && ProcessorHasAvx2(); }
bool UseAvx512Ifma() { return AccelerationAllowed() && ProcessorHasAvx512Ifma(); }

void AllowAcceleration(bool allowed) {
  g_accelerationAllowed.store(allowed, std::memory_order_relaxed);
}

}  // namespace tv::crypto::cpu
