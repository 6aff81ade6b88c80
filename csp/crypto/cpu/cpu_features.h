// Run-time choice between the portable and the processor-accelerated code
// of the primitives. The answer is read on every call that processes data,
// so switching acceleration off takes effect at once, also for contexts and
// cipher states that are already running (their layout does not depend on
// the code path).
#pragma once

namespace tv::crypto::cpu {

// True when the processor offers AES-NI together with the SSE levels the
// accelerated AES code is compiled for (SSE4.1).
bool ProcessorHasAesNi();

// True when the processor offers the SHA extensions together with SSSE3 and
// SSE4.1, which the accelerated SHA-1 and SHA-256 code uses.
bool ProcessorHasShaNi();

// True when the processor offers AVX-512 with the 52-bit integer multiply-add
// instructions (IFMA) and the operating system saves their registers, which
// the accelerated Montgomery arithmetic of RSA uses.
bool ProcessorHasAvx512Ifma();

// True when the processor offers AVX2 and BMI2 and the operating system
// saves the AVX registers, which the accelerated SHA-512 code uses.
bool ProcessorHasAvx2();

// The processor has AES-NI and acceleration is allowed.
bool UseAesNi();

// The processor has the SHA extensions and acceleration is allowed.
bool UseShaNi();

// The processor has AVX2 and BMI2 and acceleration is allowed.
bool UseAvx2();

// The processor has AVX-512 IFMA and acceleration is allowed.
bool UseAvx512Ifma();

// Allows (the default) or forbids the accelerated code paths for the whole
// process. Tests forbid them to run the portable code on the same vectors.
void AllowAcceleration(bool allowed);

}  // namespace tv::crypto::cpu
