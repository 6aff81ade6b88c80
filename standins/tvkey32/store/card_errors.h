// The last-error codes the simulator leaves, beside the plain Win32 ones
// (ERROR_INVALID_HANDLE, ERROR_INVALID_PARAMETER, ERROR_MORE_DATA,
// ERROR_HANDLE_EOF, ERROR_FILE_CORRUPT, ERROR_IO_DEVICE, ...).
#pragma once
#include <windows.h>
#include <scarderr.h>

namespace tv::keysim {

inline constexpr DWORD kErrorNoMemory = static_cast<DWORD>(SCARD_E_NO_MEMORY);            // Key memory full
inline constexpr DWORD kErrorWrongPin = static_cast<DWORD>(SCARD_W_WRONG_CHV);
inline constexpr DWORD kErrorPinBlocked = static_cast<DWORD>(SCARD_W_CHV_BLOCKED);
inline constexpr DWORD kErrorPinNotVerified = static_cast<DWORD>(SCARD_W_SECURITY_VIOLATION);
inline constexpr DWORD kErrorKeyRemoved = static_cast<DWORD>(SCARD_W_REMOVED_CARD);       // since InitCard
inline constexpr DWORD kErrorNoSession = static_cast<DWORD>(SCARD_E_NOT_READY);           // no InitCard
inline constexpr DWORD kErrorNoKey = static_cast<DWORD>(SCARD_E_NO_SMARTCARD);
inline constexpr DWORD kErrorUnknownReader = static_cast<DWORD>(SCARD_E_UNKNOWN_READER);
inline constexpr DWORD kErrorReaderGone = static_cast<DWORD>(SCARD_E_READER_UNAVAILABLE);
inline constexpr DWORD kErrorNotFormatted = static_cast<DWORD>(SCARD_E_CARD_UNSUPPORTED);

}  // namespace tv::keysim
