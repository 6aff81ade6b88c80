#include "csp/front/provider_version.h"

namespace tv::csp {
namespace {

// The provider's own file name and version block are small; anything
// larger is not ours and reads as no version.
constexpr DWORD kPathBufferSize = 2048;
constexpr DWORD kVersionBlockLimit = 2048;

}  // namespace

DWORD ProviderVersion(HMODULE module) {
  char path[kPathBufferSize];
  const DWORD pathLength = GetModuleFileNameA(module, path, kPathBufferSize);
  if (pathLength == 0 || pathLength >= kPathBufferSize) return 0;

  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0 || size > kVersionBlockLimit) return 0;
  BYTE block[kVersionBlockLimit];
  if (!GetFileVersionInfoA(path, 0, size, block)) return 0;

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  if (!VerQueryValueA(block, "\\", reinterpret_cast<void**>(&fixed), &fixedSize) || !fixed ||
      fixedSize < sizeof *fixed)
    return 0;
  const DWORD product = fixed->dwProductVersionMS;
  return ((product >> 16) & 0xFF) << 8 | (product & 0xFF);
}

}  // namespace tv::csp
