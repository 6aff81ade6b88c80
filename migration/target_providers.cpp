#include "migration/target_providers.h"

#include <wincrypt.h>

#include "common/wait_cursor.h"
#include "migration/key_source.h"

namespace tv::migration {
namespace {

constexpr ALG_ID kRsaKeyExchangeAlternative = 0xAA01;

// The provider at `index` of the system's list; false past its end.
bool ProviderAt(DWORD index, ProviderEntry* entry) {
  DWORD size = 0;
  DWORD type = 0;
  if (!CryptEnumProvidersW(index, nullptr, 0, &type, nullptr, &size)) return false;
  std::wstring name(size / sizeof(wchar_t) + 1, L'\0');
  if (!CryptEnumProvidersW(index, nullptr, 0, &type, name.data(), &size)) return false;
  entry->type = type;
  // A name too long for the applet's buffers is listed empty and never matches.
  if (!ToAnsi(name.c_str(), &entry->name)) entry->name.clear();
  return true;
}

// The maximum key length of the provider's first RSA key-exchange
// algorithm; 0 when it has none or gives no verify-only context.
DWORD MaxExchangeKeyLength(const ProviderEntry& entry) {
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextA(&provider, nullptr, entry.name.c_str(), entry.type, CRYPT_VERIFYCONTEXT)) return 0;
  DWORD maxLength = 0;
  PROV_ENUMALGS_EX algorithm;
  for (DWORD flags = CRYPT_FIRST;; flags = 0) {
    DWORD size = sizeof algorithm;
    if (!CryptGetProvParam(provider, PP_ENUMALGS_EX, reinterpret_cast<BYTE*>(&algorithm), &size, flags)) break;
    if (algorithm.aiAlgid == CALG_RSA_KEYX || algorithm.aiAlgid == kRsaKeyExchangeAlternative) {
      maxLength = algorithm.dwMaxLen;
      break;
    }
  }
  CryptReleaseContext(provider, 0);
  return maxLength;
}

std::size_t IndexOf(const std::vector<ProviderEntry>& targets, const char* name) {
  for (std::size_t i = 0; i < targets.size(); ++i)
    if (targets[i].name == name) return i;
  return targets.size();
}

}  // namespace

std::vector<ProviderEntry> InstalledProviders() {
  std::vector<ProviderEntry> providers;
  ProviderEntry entry;
  for (DWORD index = 0; ProviderAt(index, &entry); ++index) providers.push_back(entry);
  return providers;
}

std::vector<ProviderEntry> TargetsForKey(DWORD type, DWORD keyLength) {
  const WaitCursor wait;
  std::vector<ProviderEntry> targets;
  for (const ProviderEntry& entry : InstalledProviders()) {
    if ((type != 0 && entry.type != type) || entry.name.empty() || entry.name == kKeyBaseProvider) continue;
    if (MaxExchangeKeyLength(entry) >= keyLength) targets.push_back(entry);
  }
  return targets;
}

std::size_t PreferredTarget(const std::vector<ProviderEntry>& targets, const std::string& sourceProvider) {
  if (sourceProvider != kKeyProvider) {
    const std::size_t key = IndexOf(targets, kKeyProvider);
    return key < targets.size() ? key : 0;
  }
  for (const char* name : {kEnhancedProvider, kBaseProvider}) {
    const std::size_t found = IndexOf(targets, name);
    if (found < targets.size()) return found;
  }
  return 0;
}

bool CertificatesCanMove(const std::string& sourceProvider, const std::string& targetProvider) {
  return sourceProvider == kKeyProvider || targetProvider == kKeyProvider;
}

}  // namespace tv::migration
