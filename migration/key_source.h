// Where the key pair of a certificate lives: the provider and container of
// its key-provider information, and the length of its public key.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

namespace tv::migration {

// Provider and container names are kept in ANSI buffers of this size.
inline constexpr std::size_t kNameBufferSize = 300;

struct KeySource {
  std::string provider;
  std::string container;
  DWORD providerType = 0;
  DWORD keyLength = 0;  // bits; 0 while no usable certificate is chosen
};

// The certificate's CERT_KEY_PROV_INFO_PROP_ID: a CRYPT_KEY_PROV_INFO and
// the strings it points to. False, the last error set, when it is absent
// (CRYPT_E_NOT_FOUND) or shorter than the structure.
bool KeyProviderInfo(PCCERT_CONTEXT certificate, std::vector<BYTE>* info);

// Reads the key-provider information of `certificate` and the length of its
// public key, after checking that the provider gives a verify-only context.
// False (traced, the last error set) when any of it fails.
bool ReadKeySource(PCCERT_CONTEXT certificate, KeySource* source);

// `text` in UTF-16 (ANSI code page), and back; false when it does not fit
// the buffers of kNameBufferSize.
bool ToAnsi(const wchar_t* text, std::string* out);
std::wstring ToWide(const std::string& text);

}  // namespace tv::migration
