// Numbers of the shared strings that the token layer shows or keeps.
#pragma once
#include <windows.h>

namespace tv::token {

inline constexpr UINT kTextPinRequired = 2311;      // "Please enter PIN of the Key."
inline constexpr UINT kTextProcessing = 2312;       // "Processing the Key . . ."
inline constexpr UINT kTextWaiting = 2314;          // "Waiting for Key insertion . . ."
inline constexpr UINT kTextFinallyBlocked = 2401;   // "The Key is finally blocked!\n..."
inline constexpr UINT kTextReady = 2428;            // "Ready for operation."
inline constexpr UINT kTextBlocked = 2507;          // "The Key is blocked!"
inline constexpr UINT kTextKeyError = 2510;         // "Unknown error with the Key!"
inline constexpr UINT kTextNotFormatted = 2513;     // "The Key you connected has not been formatted!"
inline constexpr UINT kTextUnidentified = 2516;     // "Unidentified Key or reader error!"
inline constexpr UINT kTextLoadFailed = 2518;       // "An error occurred while loading %s!"
inline constexpr UINT kTextProcessingFailed = 2527; // "An error occurred while processing the Key!"
inline constexpr UINT kTextInternalError = 2538;    // "Internal error [%08X]!"
inline constexpr UINT kTextNoFreeSpace = 2541;      // "Not enough free space on the Key!"

}  // namespace tv::token
