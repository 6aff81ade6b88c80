#include "standins/pstorec/item_store.h"

#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace tv::pstore {
namespace {

constexpr DWORD kMaxItemFileSize = 1 << 20;
constexpr std::size_t kStyleSize = sizeof(DWORD);

std::wstring Environment(const wchar_t* name) {
  wchar_t value[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

std::wstring StoreRoot() {
  std::wstring root = Environment(L"TV_PSTORE_DIR");
  if (root.empty()) root = Environment(L"LOCALAPPDATA") + L"\\Tavrin\\PStore";
  while (!root.empty() && root.back() == L'\\') root.pop_back();
  return root;
}

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40];
  std::swprintf(text, 40, L"%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return text;
}

// An item name as a file name: letters, digits, '-' and '_' stay, every
// other character becomes '%' and four hex digits.
std::wstring FileName(const wchar_t* name) {
  std::wstring file;
  for (const wchar_t* c = name; *c; ++c) {
    if ((*c >= L'a' && *c <= L'z') || (*c >= L'A' && *c <= L'Z') || (*c >= L'0' && *c <= L'9') || *c == L'-' ||
        *c == L'_') {
      file += *c;
    } else {
      wchar_t escaped[8];
      std::swprintf(escaped, 8, L"%%%04X", static_cast<unsigned>(*c));
      file += escaped;
    }
  }
  return file + L".item";
}

std::wstring KeyDirectory(DWORD key) { return StoreRoot() + L"\\key" + std::to_wstring(key); }
std::wstring TypeDirectory(const ItemAddress& a) { return KeyDirectory(a.key) + L"\\" + GuidText(*a.type); }
std::wstring SubtypeDirectory(const ItemAddress& a) { return TypeDirectory(a) + L"\\" + GuidText(*a.subtype); }
std::wstring ItemFile(const ItemAddress& a) { return SubtypeDirectory(a) + L"\\" + FileName(a.name); }

bool DirectoryExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Creates every missing directory of the path.
bool MakeDirectories(const std::wstring& path) {
  for (std::size_t slash = path.find(L'\\', 3); ; slash = path.find(L'\\', slash + 1)) {
    const std::wstring part = path.substr(0, slash);
    if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    if (slash == std::wstring::npos) return true;
  }
}

// Creates the last directory of `path` below existing parents.
HRESULT CreateTypeDirectory(const std::wstring& path) {
  if (CreateDirectoryW(path.c_str(), nullptr)) return S_OK;
  return GetLastError() == ERROR_ALREADY_EXISTS ? kTypeExists : kStorageError;
}

bool IsMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// The whole item file; kItemNoExists when there is none.
HRESULT ReadItemFile(const ItemAddress& item, std::vector<std::uint8_t>& bytes) {
  HANDLE file = CreateFileW(ItemFile(item).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return IsMissing(GetLastError()) ? kItemNoExists : kStorageError;
  const DWORD size = GetFileSize(file, nullptr);
  DWORD read = 0;
  bool whole = size != INVALID_FILE_SIZE && size >= kStyleSize && size <= kMaxItemFileSize;
  if (whole) {
    bytes.resize(size);
    whole = ReadFile(file, bytes.data(), size, &read, nullptr) && read == size;
  }
  CloseHandle(file);
  return whole ? S_OK : kStorageError;
}

// Writes the file beside its place, then moves it there in one step.
HRESULT ReplaceItemFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes, bool noOverwrite) {
  const std::wstring temporary =
      path + L"." + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(GetCurrentThreadId());
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return kStorageError;
  DWORD written = 0;
  const bool complete = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                        written == bytes.size() && FlushFileBuffers(file);
  CloseHandle(file);
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (noOverwrite ? 0 : MOVEFILE_REPLACE_EXISTING);
  if (complete && MoveFileExW(temporary.c_str(), path.c_str(), flags)) return S_OK;
  const DWORD error = GetLastError();
  DeleteFileW(temporary.c_str());
  return complete && error == ERROR_ALREADY_EXISTS ? kItemExists : kStorageError;
}

}  // namespace

HRESULT CreateType(const ItemAddress& type) {
  if (!MakeDirectories(KeyDirectory(type.key))) return kStorageError;
  return CreateTypeDirectory(TypeDirectory(type));
}

HRESULT CreateSubtype(const ItemAddress& subtype) {
  if (!DirectoryExists(TypeDirectory(subtype))) return kTypeNoExists;
  return CreateTypeDirectory(SubtypeDirectory(subtype));
}

HRESULT WriteItem(const ItemAddress& item, std::span<const std::uint8_t> data, DWORD confirmationStyle,
                  bool noOverwrite) {
  if (!DirectoryExists(SubtypeDirectory(item))) return kTypeNoExists;
  // An empty item still gets a valid pointer, which CryptProtectData wants.
  BYTE nothing = 0;
  DATA_BLOB clear = {static_cast<DWORD>(data.size()), data.empty() ? &nothing : const_cast<BYTE*>(data.data())};
  DATA_BLOB protectedData = {};
  if (!CryptProtectData(&clear, L"Protected Storage item", nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                        &protectedData))
    return kStorageError;
  std::vector<std::uint8_t> bytes(kStyleSize + protectedData.cbData);
  std::memcpy(bytes.data(), &confirmationStyle, kStyleSize);
  std::memcpy(bytes.data() + kStyleSize, protectedData.pbData, protectedData.cbData);
  LocalFree(protectedData.pbData);
  return ReplaceItemFile(ItemFile(item), bytes, noOverwrite);
}

HRESULT ReadItem(const ItemAddress& item, DWORD& size, BYTE*& data) {
  std::vector<std::uint8_t> bytes;
  const HRESULT result = ReadItemFile(item, bytes);
  if (result != S_OK) return result;
  DATA_BLOB protectedData = {static_cast<DWORD>(bytes.size() - kStyleSize), bytes.data() + kStyleSize};
  DATA_BLOB clear = {};
  if (!CryptUnprotectData(&protectedData, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &clear))
    return kStorageError;
  // CryptUnprotectData allocates with LocalAlloc, as the caller expects.
  size = clear.cbData;
  data = clear.pbData;
  return S_OK;
}

HRESULT DeleteItem(const ItemAddress& item) {
  if (DeleteFileW(ItemFile(item).c_str())) return S_OK;
  return IsMissing(GetLastError()) ? kItemNoExists : kStorageError;
}

HRESULT ItemConfirmationStyle(const ItemAddress& item, DWORD& style) {
  std::vector<std::uint8_t> bytes;
  const HRESULT result = ReadItemFile(item, bytes);
  if (result == S_OK) std::memcpy(&style, bytes.data(), kStyleSize);
  return result;
}

}  // namespace tv::pstore
