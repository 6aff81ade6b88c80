#include "csp/front/process_state.h"

namespace tv::csp {

std::atomic<std::uint32_t> HandleTag{0};
std::atomic<std::uint32_t> ContextCount{0};
std::atomic<std::uint32_t> LastProviderError{0};
HMODULE ModuleInstance = nullptr;
std::uint32_t StorageMode = 0;
CRITICAL_SECTION ContainerLock;
DWORD ArithmeticSlot = TLS_OUT_OF_INDEXES;

bool InitializeProcessState() {
  InitializeCriticalSection(&ContainerLock);
  ArithmeticSlot = TlsAlloc();
  return ArithmeticSlot != TLS_OUT_OF_INDEXES;
}

void ReleaseProcessState() {
  TlsFree(ArithmeticSlot);
  ArithmeticSlot = TLS_OUT_OF_INDEXES;
  DeleteCriticalSection(&ContainerLock);
}

}  // namespace tv::csp
