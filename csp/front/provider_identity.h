// The provider's names as the platform and the configuration know them.
#pragma once

namespace tv::csp {

inline constexpr const char* kProviderName = "Tavrin RSA Cryptographic Provider v1.0";
inline constexpr const char* kProviderDisplayName = "Tavrin RSA Cryptographic Provider";
inline constexpr const char* kMakerName = "Tavrin";
inline constexpr unsigned kProviderType = 1;  // PROV_RSA_FULL

}  // namespace tv::csp
