// Where the key pair of a certificate lives: the provider and container of
// its key-provider information, and the length of its public key.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <string>

namespace tv::migration {

// Provider and container names are kept in ANSI buffers of this size.
inline constexpr std::size_t kNameBufferSize = 300;

struct KeySource {
  std::string provider;
  std::string container;
  DWORD providerType = 0;
  DWORD keyLength = 0;  // bits; 0 while no usable certificate is chosen
};

// Reads the key-provider information of `certificate` and the length of its
// public key, after checking that the provider gives a verify-only context.
// False (traced, the last error set) when any of it fails.
bool ReadKeySource(PCCERT_CONTEXT certificate, KeySource* source);

// `text` in UTF-16 (ANSI code page), and back; false when it does not fit
// the buffers of kNameBufferSize.
bool ToAnsi(const wchar_t* text, std::string* out);
std::wstring ToWide(const std::string& text);

}  // namespace tv::migration
