// Setting and using up injected faults in a simulator directory.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tv::keysim {

// `operation` must be one of the 35 export names (ERROR_INVALID_PARAMETER).
DWORD SetOperationFault(const std::string& directory, std::string_view operation, std::uint32_t count, DWORD error);
DWORD SetForcedStatus(const std::string& directory, std::string_view reader, std::int32_t status, std::uint32_t count);
DWORD ClearFaults(const std::string& directory);

// Used by the exports at every call: the error to fail with, or the status
// InitCard must return; nullopt when no fault applies.
std::optional<DWORD> TakeOperationFault(const std::string& directory, std::string_view operation);
std::optional<std::int32_t> TakeForcedStatus(const std::string& directory, std::string_view reader);

}  // namespace tv::keysim
