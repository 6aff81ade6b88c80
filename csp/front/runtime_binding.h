// Binding of the runtime library tvar.dll, whose configuration reader gives
// the provider its "Mode" value. All eleven configuration functions must be
// present for the provider to load.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

namespace tv::csp {

// Loads tvar.dll and binds every function; on failure frees it, clears the
// bindings and leaves the failing call's last error.
bool BindRuntimeLibrary();
void UnbindRuntimeLibrary();

// Configuration section named after the provider's display name: when the
// name contains the maker's name, its first six characters are removed and
// then leading characters until an ASCII letter leads.
std::string ConfigSectionName(const std::string& displayName, const char* maker);

// Reads the four-byte value `name` of `section`; false when absent.
bool ReadConfigValue(const std::string& section, const char* name, std::uint32_t& value);

}  // namespace tv::csp
