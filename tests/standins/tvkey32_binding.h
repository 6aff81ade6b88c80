// tvkey32.dll bound as the product binds it (LoadLibraryA under its bare
// name, then the 35 names in their fixed order), plus the simulator's test
// exports.
#pragma once
#include <windows.h>

#include <string>

#include "standins/tvkey32/tvkey32_api.h"
#include "token/token_library.h"

namespace tvtest {

// The 35 names, in the binder's order.
extern const char* const kTvkey32Names[35];

// The product's binding of the 35 names, plus the simulator's test exports.
struct Tvkey32 : tv::token::TokenLibrary {
  HMODULE module = nullptr;
  std::string missing;  // what did not bind: the library, a token name, or a test export

  tvkey32::KeySimSetFaultFn KeySimSetFault = nullptr;
  tvkey32::KeySimForceStatusFn KeySimForceStatus = nullptr;
  tvkey32::KeySimClearFaultsFn KeySimClearFaults = nullptr;

  // Loads and binds; false (with `missing` set) when a name is absent.
  bool Bind();
  ~Tvkey32();
};

}  // namespace tvtest
