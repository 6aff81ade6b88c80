#include "csp/front/random/thread_instance.h"

#include <windows.h>

#include <new>

#include "csp/front/process_state.h"

namespace tv::csp {

ThreadInstance* CurrentThreadInstance() {
  if (ArithmeticSlot == TLS_OUT_OF_INDEXES) return nullptr;
  auto* instance = static_cast<ThreadInstance*>(TlsGetValue(ArithmeticSlot));
  if (instance != nullptr) return instance;
  instance = new (std::nothrow) ThreadInstance;
  if (instance != nullptr && !TlsSetValue(ArithmeticSlot, instance)) {
    delete instance;
    return nullptr;
  }
  return instance;
}

void ReleaseThreadInstance() {
  if (ArithmeticSlot == TLS_OUT_OF_INDEXES) return;
  auto* instance = static_cast<ThreadInstance*>(TlsGetValue(ArithmeticSlot));
  if (instance == nullptr) return;
  TlsSetValue(ArithmeticSlot, nullptr);
  delete instance;  // the generator wipes its state as it is destroyed
}

}  // namespace tv::csp
