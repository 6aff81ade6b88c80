// Read-change-write of one simulator file under its cross-process lock. The
// change returns 0 to have the result saved, or an error that leaves the
// file as it was.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "standins/tvkey32/store/simulator_files.h"

namespace tv::keysim {

// Error for a file that could not be loaded: ERROR_FILE_NOT_FOUND,
// ERROR_FILE_CORRUPT (damaged or empty), ERROR_UNSUPPORTED_TYPE (a later
// format), or the I/O error.
DWORD LoadError(LoadStatus status, DWORD ioError);

DWORD UpdateKeyFile(const KeyPlace& place, const std::function<DWORD(KeyState&)>& change);
DWORD UpdateReaderSet(const std::string& directory, const std::function<DWORD(ReaderSet&)>& change);
DWORD UpdateFaultTable(const std::string& directory, const std::function<DWORD(FaultTable&)>& change);

}  // namespace tv::keysim
