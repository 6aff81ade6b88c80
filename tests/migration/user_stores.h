// The certificate stores the migration tests fill and empty. Wine's system
// stores do not write a delete back to the registry, so certificates are
// removed through the registry stores themselves.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "tests/certstore/test_certificates.h"

namespace tvtest {

// Adds a copy to the user's system store ("MY", "CA", "ROOT").
bool AddToUserStore(const char* store, const Certificate& certificate);
// "CU:MY", "LM:CA", ...: the registry store of the current user or the
// local machine.
HCERTSTORE OpenRegistryStore(const std::string& name);
// Removes every certificate whose common name starts with `prefix`.
void RemoveCertificates(const std::string& registryStore, const std::string& prefix);
std::string CommonNameOf(PCCERT_CONTEXT certificate);

}  // namespace tvtest
