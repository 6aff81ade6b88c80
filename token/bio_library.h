// The biometric library TVBioAPI.dll, bound for the length of one check: all
// ten entry points are required; two are called.
#pragma once
#include <windows.h>

namespace tv::token {

inline constexpr const char* kBioLibraryName = "TVBioAPI.dll";

// Captures a new record through the library's own dialog. With a null
// buffer: the size of the new record (0: remove the record); `hasRecord`
// offers the removal. With a buffer and 1: hands the record over.
using BioGetBirGuiFn = BOOL(WINAPI*)(HINSTANCE resources, HWND owner, BYTE* buffer, DWORD* size, DWORD hasRecord);
// True when the holder, sampled through the library's dialog, matches `record`.
using BioVerifyBirGuiFn = BOOL(WINAPI*)(HINSTANCE resources, HWND owner, const BYTE* record, DWORD size, DWORD,
                                        DWORD);
// The entry points that are bound but never called.
using BioUnusedFn = void(WINAPI*)();

class BioLibrary {
 public:
  // Binds `fileName`; Bound() false (last error from the loader) on failure.
  explicit BioLibrary(const char* fileName);
  ~BioLibrary();
  BioLibrary(const BioLibrary&) = delete;
  BioLibrary& operator=(const BioLibrary&) = delete;

  bool Bound() const { return module_ != nullptr; }
  BioGetBirGuiFn GetBirGui() const { return getBirGui_; }
  BioVerifyBirGuiFn VerifyBirGui() const { return verifyBirGui_; }

 private:
  HMODULE module_ = nullptr;
  BioGetBirGuiFn getBirGui_ = nullptr;
  BioVerifyBirGuiFn verifyBirGui_ = nullptr;
};

}  // namespace tv::token
