#include "common/language.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace tv {
namespace {

HMODULE LanguageModuleHandle;
HMODULE OwnModuleHandle;
bool LanguageModuleLoaded;  // true when LanguageModuleHandle is a library we loaded

char* SharedBuffer() {
  thread_local char buffer[kTextBufferSize];
  return buffer;
}

HMODULE LoadBesideModule(const char* fileName, HMODULE ownModule) {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(ownModule, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  // The drive is kept: without it the directory would be taken on the
  // current drive, which need not be the module's.
  char drive[_MAX_DRIVE], dir[_MAX_DIR], full[MAX_PATH];
  _splitpath(path, drive, dir, nullptr, nullptr);
  if (snprintf(full, sizeof full, "%s%s%s", drive, dir, fileName) >= static_cast<int>(sizeof full))
    return nullptr;
  return LoadLibraryA(full);
}

bool LoadFrom(HMODULE module, UINT id, char* buffer, int size) {
  return module && LoadStringA(module, id, buffer, size) > 0;
}

}  // namespace

bool LoadLanguageModule(const char* prefix, HMODULE ownModule) {
  char fileName[MAX_PATH];
  snprintf(fileName, sizeof fileName, "%s_lang.dll", prefix);
  HMODULE language = LoadLibraryA(fileName);
  if (!language && ownModule) language = LoadBesideModule(fileName, ownModule);
  LanguageModuleLoaded = language != nullptr;
  OwnModuleHandle = ownModule ? ownModule : GetModuleHandleA(nullptr);
  LanguageModuleHandle = language ? language : OwnModuleHandle;
  return LanguageModuleHandle != nullptr;
}

char* LoadStringText(UINT id, char* buffer, int size) {
  if (!buffer) {
    buffer = SharedBuffer();
    size = static_cast<int>(kTextBufferSize);
  } else if (size == -1) {
    size = static_cast<int>(kTextBufferSize);
  }
  if (size <= 0) return buffer;
  if (!LoadFrom(LanguageModuleHandle, id, buffer, size) &&
      !LoadFrom(GetModuleHandleA(nullptr), id, buffer, size) &&
      !LoadFrom(OwnModuleHandle, id, buffer, size))
    buffer[0] = '\0';
  return buffer;
}

char* FormatStringMessage(UINT id, char* buffer, std::size_t size, ...) {
  char format[kTextBufferSize];
  LoadStringText(id, format, sizeof format);
  if (!buffer) {
    buffer = SharedBuffer();
    size = kTextBufferSize;
  }
  if (size == 0) return buffer;
  va_list args;
  va_start(args, size);
  vsnprintf(buffer, size, format, args);
  va_end(args);
  return buffer;
}

HMODULE LanguageModule() { return LanguageModuleHandle; }
HMODULE OwnModule() { return OwnModuleHandle; }

void UnloadLanguageModule() {
  if (LanguageModuleLoaded) FreeLibrary(LanguageModuleHandle);
  LanguageModuleLoaded = false;
  LanguageModuleHandle = nullptr;
}

}  // namespace tv
