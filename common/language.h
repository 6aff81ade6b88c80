// User-visible texts: every text is a string number looked up first in the
// language module "<prefix>_lang.dll", then in the host executable, then in
// the deliverable's own string table.
#pragma once
#include <windows.h>

#include <cstddef>

namespace tv {

constexpr std::size_t kTextBufferSize = 1024;

// Loads "<prefix>_lang.dll" from the search path, else from the own module's
// directory; without one the own module's resources serve. False only when
// no module at all is available.
bool LoadLanguageModule(const char* prefix, HMODULE ownModule);

// The string `id` into `buffer` (size bytes, -1 meaning 1024), or into a
// per-thread 1024-byte buffer when `buffer` is null. Missing: empty string.
char* LoadStringText(UINT id, char* buffer, int size);

// The string `id` used as a printf format with the arguments, written into
// `buffer` (at most `size` bytes) or the per-thread buffer when null.
char* FormatStringMessage(UINT id, char* buffer, std::size_t size, ...);

HMODULE LanguageModule();
HMODULE OwnModule();
// Frees a language module loaded by LoadLanguageModule (process detach).
void UnloadLanguageModule();

}  // namespace tv
