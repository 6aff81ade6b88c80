// The calling thread's arithmetic and random-generator instance, kept in
// the thread-local slot ArithmeticSlot (process_state.h). Threads share
// nothing here, so no lock is taken.
#pragma once
#include "bignum/bignum.h"
#include "csp/front/random/hmac_drbg.h"

namespace tv::csp {

struct ThreadInstance {
  crypto::Arithmetic arithmetic;
  HmacDrbg generator;  // not instantiated until its first seeding (random_generator.h)
};

// The calling thread's instance, created on first use; null when memory
// runs out or the slot has not been allocated.
ThreadInstance* CurrentThreadInstance();

// Wipes and frees the calling thread's instance, if it has one. Called by
// ReleaseGenerator and when a thread ends.
void ReleaseThreadInstance();

}  // namespace tv::csp
