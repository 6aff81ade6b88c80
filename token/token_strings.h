// Numbers of the shared strings that the token layer shows or keeps.
#pragma once
#include <windows.h>

namespace tv::token {

inline constexpr UINT kTextCancel = 2002;          // "Cancel"
inline constexpr UINT kTextOk = 2010;              // "&OK"
inline constexpr UINT kTextAbort = 2017;           // "&Abort"
inline constexpr UINT kTextRememberPin = 2028;     // "&Remember PIN for current session"
inline constexpr UINT kTextConfirmPin = 2101;      // "Confirm PIN:"
inline constexpr UINT kTextEnterPin = 2104;        // "Enter PIN:"
inline constexpr UINT kTextPinLabel = 2110;        // "PIN:"
inline constexpr UINT kTextChooseKey = 2117;       // "Choose a Key:"
inline constexpr UINT kTextPinRequired = 2311;      // "Please enter PIN of the Key."
inline constexpr UINT kTextProcessing = 2312;       // "Processing the Key . . ."
inline constexpr UINT kTextWaiting = 2314;          // "Waiting for Key insertion . . ."
inline constexpr UINT kTextChangePin = 2317;       // "Change PIN"
inline constexpr UINT kTextHolderVerification = 2318;  // "Key holder verification"
inline constexpr UINT kTextChangeBir = 2334;       // "Change Biometric ID"
inline constexpr UINT kTextFinallyBlocked = 2401;   // "The Key is finally blocked!\n..."
inline constexpr UINT kTextOverwrite = 2409;       // "Would you like to overwrite it?"
inline constexpr UINT kTextAttemptsLeft = 2410;    // "There are %d attempts remaining!"
inline constexpr UINT kTextTryAgain = 2419;        // "Would you like to try again?"
inline constexpr UINT kTextReady = 2428;            // "Ready for operation."
inline constexpr UINT kTextChangePinFailed = 2501; // "An error occurred while changing PIN!"
inline constexpr UINT kTextWrongPin = 2504;        // "The PIN you entered is incorrect!"
inline constexpr UINT kTextBlocked = 2507;          // "The Key is blocked!"
inline constexpr UINT kTextKeyError = 2510;         // "Unknown error with the Key!"
inline constexpr UINT kTextNotFormatted = 2513;     // "The Key you connected has not been formatted!"
inline constexpr UINT kTextUnidentified = 2516;     // "Unidentified Key or reader error!"
inline constexpr UINT kTextLoadFailed = 2518;       // "An error occurred while loading %s!"
inline constexpr UINT kTextProcessingFailed = 2527; // "An error occurred while processing the Key!"
inline constexpr UINT kTextInternalError = 2538;    // "Internal error [%08X]!"
inline constexpr UINT kTextNotEmpty = 2537;        // "The Key is not empty!"
inline constexpr UINT kTextNoFreeSpace = 2541;      // "Not enough free space on the Key!"

}  // namespace tv::token
