// Acquiring and releasing provider contexts: the flag rules, naming the
// container, choosing the storage backend (asking the user where a new
// container goes), creating, opening and deleting containers.
#pragma once
#include <windows.h>

#include <cstddef>

#include "csp/front/prov_context.h"

namespace tv::csp {

// Accepted acquisitions: open (0), CRYPT_NEWKEYSET, CRYPT_DELETEKEYSET, or
// CRYPT_VERIFYCONTEXT without any container name (not even ""), each
// optionally with CRYPT_MACHINE_KEYSET and CRYPT_SILENT.
bool AcceptedAcquireFlags(DWORD flags, const char* container);

// A container name that names a container file on a drive: "X:\..." or "\\...".
bool IsPathName(const char* name);

// Makes a context for `container` as the flags say. A successful deletion
// gives true with `context` null. False with the last error set.
bool AcquireContext(const char* container, DWORD flags, ProvContext*& context);

// Destroys the pairs, hands the backend a fresh 20-byte seed, closes the
// storage and frees the context.
bool ReleaseContext(ProvContext* context);

// Random bytes for the context: from the Key when its backend has a
// generator, else from the software generator.
bool ContextRandom(ProvContext& context, BYTE* buffer, std::size_t length);

// Makes sure the container's pairs are loaded, dropping them first when the
// backend reports the Key gone.
bool EnsureKeyPairsLoaded(ProvContext& context);

}  // namespace tv::csp
