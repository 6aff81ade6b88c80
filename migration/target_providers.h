// The providers a key pair can be migrated to: every installed provider of
// the source's type whose RSA key exchange takes a key of the source's
// length, the Key's own base provider excepted.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace tv::migration {

inline constexpr const char* kKeyProvider = "Tavrin RSA Cryptographic Provider v1.0";
inline constexpr const char* kKeyBaseProvider = "Tavrin Base Cryptographic Provider";
inline constexpr const char* kEnhancedProvider = "Microsoft Enhanced Cryptographic Provider v1.0";
inline constexpr const char* kBaseProvider = "Microsoft Base Cryptographic Provider v1.0";

struct ProviderEntry {
  std::string name;
  DWORD type = 0;
};

// Every installed provider, in the order the system lists them.
std::vector<ProviderEntry> InstalledProviders();

// The targets for a key of `keyLength` bits from a provider of `type` (0:
// any type): each provider looked at gives a verify-only context, and its
// first RSA key-exchange algorithm's maximum length is at least keyLength.
std::vector<ProviderEntry> TargetsForKey(DWORD type, DWORD keyLength);

// The target preselected for a source provider: the Key's provider for a
// key elsewhere, the platform's Enhanced (else Base, else the first) for a
// key on the Key. Index into `targets`; 0 when none of them is there.
std::size_t PreferredTarget(const std::vector<ProviderEntry>& targets, const std::string& sourceProvider);

// Certificates move only when the Key's provider is on one side.
bool CertificatesCanMove(const std::string& sourceProvider, const std::string& targetProvider);

}  // namespace tv::migration
