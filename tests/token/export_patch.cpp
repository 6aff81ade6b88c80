#include "tests/token/export_patch.h"

#include <windows.h>

#include <cstring>
#include <optional>

#include "tests/support/isolation.h"

namespace tvtest {
namespace {

template <typename T>
std::optional<T> At(const std::string& image, std::size_t offset) {
  if (offset > image.size() || image.size() - offset < sizeof(T)) return std::nullopt;
  T value;
  std::memcpy(&value, image.data() + offset, sizeof value);
  return value;
}

// File offset of a relative virtual address, through the section headers.
std::optional<std::size_t> FileOffset(const std::string& image, std::size_t sections, unsigned count, DWORD rva) {
  for (unsigned i = 0; i < count; ++i) {
    const auto section = At<IMAGE_SECTION_HEADER>(image, sections + i * sizeof(IMAGE_SECTION_HEADER));
    if (!section) return std::nullopt;
    if (rva >= section->VirtualAddress && rva < section->VirtualAddress + section->SizeOfRawData)
      return rva - section->VirtualAddress + section->PointerToRawData;
  }
  return std::nullopt;
}

}  // namespace

bool CopyLackingExport(const std::string& source, const std::string& target, const std::string& name) {
  std::string image = ReadFileText(source);
  const auto dos = At<IMAGE_DOS_HEADER>(image, 0);
  if (!dos) return false;
  const std::size_t nt = static_cast<std::size_t>(dos->e_lfanew);
  const auto file = At<IMAGE_FILE_HEADER>(image, nt + 4);
  const auto magic = At<WORD>(image, nt + 4 + sizeof(IMAGE_FILE_HEADER));
  if (!file || !magic) return false;
  const std::size_t optional = nt + 4 + sizeof(IMAGE_FILE_HEADER);
  const std::size_t directories = optional + (*magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC
                                                  ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                                                  : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory));
  const auto exports = At<IMAGE_DATA_DIRECTORY>(image, directories);
  const std::size_t sections = optional + file->SizeOfOptionalHeader;
  if (!exports) return false;
  const auto offset = [&](DWORD rva) { return FileOffset(image, sections, file->NumberOfSections, rva); };
  const auto directoryAt = offset(exports->VirtualAddress);
  if (!directoryAt) return false;
  const auto directory = At<IMAGE_EXPORT_DIRECTORY>(image, *directoryAt);
  const auto namesAt = directory ? offset(directory->AddressOfNames) : std::nullopt;
  if (!namesAt) return false;
  for (DWORD i = 0; i < directory->NumberOfNames; ++i) {
    const auto nameRva = At<DWORD>(image, *namesAt + i * sizeof(DWORD));
    const auto nameAt = nameRva ? offset(*nameRva) : std::nullopt;
    if (!nameAt || image.compare(*nameAt, name.size() + 1, name.c_str(), name.size() + 1) != 0) continue;
    --image[*nameAt + name.size() - 1];
    HANDLE out = CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(out, image.data(), static_cast<DWORD>(image.size()), &written, nullptr);
    CloseHandle(out);
    return ok && written == image.size();
  }
  return false;
}

}  // namespace tvtest
