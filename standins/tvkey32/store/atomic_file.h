// Whole-file reads and crash-safe whole-file replacement. A replacement is
// written to a side file, flushed to the disk, then renamed over the target
// in one step: a reader sees the old file or the new one, never a mix, and a
// process killed half-way leaves the old file in place.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "standins/tvkey32/store/secret.h"

namespace tv::keysim {

enum class FileRead { Ok, Missing, TooLarge, Error };

struct FileImage {
  FileRead result = FileRead::Missing;
  DWORD error = 0;
  SecretBytes bytes;
};

FileImage ReadWholeFile(const std::string& path, std::size_t maxSize);

// Callers serialise replacements of one file (CrossProcessLock): the side
// file's name is fixed, so a side file left by a killed writer is simply
// overwritten by the next one. Returns 0 or the Win32 error.
DWORD ReplaceFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

// Creates the directory and any missing parents; 0 or the Win32 error.
DWORD EnsureDirectory(const std::string& path);

}  // namespace tv::keysim
