// The handle model: every HCRYPTPROV, HCRYPTKEY and HCRYPTHASH is the
// address of a provider-owned record that carries HandleTag. A handle is
// valid when it is non-null, names a live record and its tag equals
// HandleTag. Live records are registered so that a stale or foreign handle
// is refused without reading memory the provider does not own.
#pragma once
#include <windows.h>

#include <cstdint>

namespace tv::csp {

enum class HandleKind { Provider, Key, Hash };

// Where each record keeps its tag: a context's first u32; a key's u32 after
// its one-byte kind and u32 algorithm; a hash's second u32.
constexpr std::size_t TagOffset(HandleKind kind) {
  return kind == HandleKind::Provider ? 0 : kind == HandleKind::Key ? 5 : 4;
}

void RegisterHandle(HandleKind kind, const void* record);
void UnregisterHandle(HandleKind kind, const void* record);

// The record's tag, or 0 for a null or unknown handle.
std::uint32_t TagOf(HandleKind kind, ULONG_PTR handle);
// Non-null, live and tagged with the current HandleTag.
bool IsValidHandle(HandleKind kind, ULONG_PTR handle);

// The error an invalid handle of this kind reports.
constexpr DWORD BadHandleError(HandleKind kind) {
  return kind == HandleKind::Provider ? NTE_BAD_UID
         : kind == HandleKind::Key    ? NTE_BAD_KEY
                                      : NTE_BAD_HASH;
}

}  // namespace tv::csp
