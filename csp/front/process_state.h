// Process-wide state of the provider, set up at process attach.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>

namespace tv::csp {

// Random tag carried by every live context, key and hash record.
extern std::atomic<std::uint32_t> HandleTag;
// Acquired, not yet released provider contexts.
extern std::atomic<std::uint32_t> ContextCount;
// Last error the front end reported; reported again at process detach.
extern std::atomic<std::uint32_t> LastProviderError;
extern HMODULE ModuleInstance;
// Configuration value "Mode": 1 sends new containers to the Key unasked.
extern std::uint32_t StorageMode;
// Held while a key container is loaded from storage into a context.
extern CRITICAL_SECTION ContainerLock;
// Thread-local slot holding the calling thread's arithmetic and random
// generator instance; TLS_OUT_OF_INDEXES before attach.
extern DWORD ArithmeticSlot;

// Creates ContainerLock and ArithmeticSlot (process attach; tests that link
// the front end call it themselves).
bool InitializeProcessState();
void ReleaseProcessState();

}  // namespace tv::csp
