// A storage backend for in-process tests of the provider parameters: it
// lists the container names it is given (as the registry backend lists
// keys), can offer a hardware generator, and keeps what the context hands
// it (PIN, key security) so that a test can see exactly what arrived.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "csp/front/prov_context.h"

namespace tvtest {

struct ScriptedBackend {
  std::vector<std::string> containers;
  bool hardwareGenerator = false;
  bool refuseSets = false;  // SetContainerPin and SetKeySecurity fail

  std::vector<std::string> pins;  // every PIN received, in order
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  SECURITY_INFORMATION information = 0;
};

// Makes `backend` the context's storage, closing whatever storage the
// context had. The backend must outlive the context.
void AttachScriptedBackend(tv::csp::ProvContext& context, ScriptedBackend& backend);

// Closes the context's storage, leaving it without a backend, as when no
// backend could be opened for a verify-only context.
void DetachBackend(tv::csp::ProvContext& context);

}  // namespace tvtest
