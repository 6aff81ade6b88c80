// The stores a migration copies certificates into: the Key's stores of the
// certificate store provider "tvcstore" when the key goes to the Key's
// provider, the registry's ".Default" stores otherwise.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <string>

namespace tv::migration {

enum class TargetStore { Personal = 0, Intermediate = 1, Root = 2 };

// "MY\tvcstore", "CA\.Default" and so on: the physical store's name.
std::wstring TargetStoreName(TargetStore store, bool onKey);

// Opens the physical store. Where the platform has no physical stores, the
// same store is opened another way: the Key's through the store provider
// "tvcstore" with its open parameter, ".Default" as the system registry
// store of the same name and location. Null on failure, the last error set.
HCERTSTORE OpenTargetStore(TargetStore store, bool onKey);

// Whether the Key's personal store can be opened and holds a certificate.
bool KeyStoreHoldsCertificate();

}  // namespace tv::migration
