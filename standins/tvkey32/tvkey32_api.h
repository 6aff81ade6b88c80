// The Key library tvkey32.dll as its callers bind it: LoadLibraryA
// ("tvkey32.dll"), then GetProcAddress of the names below. Every export uses
// the Windows calling convention (WINAPI) and ANSI, NUL-terminated strings.
// Reader handles are 32-bit values, -1 for none; they belong to the process
// that opened them.
#pragma once
#include <windows.h>

namespace tvkey32 {

// InitCard results. A value of 1 or more is the number of PIN attempts left.
enum CardStatus : int {
  kStatusBlocked = 0,
  kStatusNoKey = -1,
  kStatusNotFormatted = -2,
  kStatusKeyError = -3,        // the Key is faulty, or its file is damaged
  kStatusNoAttemptCount = -4,  // a Key that keeps no attempt count
  kStatusSessionAbsent = -5,   // CloseCard (h, 0), then InitCard again
  kStatusReaderError = -6,
  kStatusFinallyBlocked = -7,
  kStatusUnidentified = -8,    // e.g. a Key file of a later format
};

// GetReaderType results; 0 for a name that is no reader.
enum ReaderType : int { kReaderHardware = 1, kReaderContainerFile = 2, kReaderDiskDrive = 40 };

// Fault injection: a count that never runs out.
inline constexpr DWORD kFaultAlways = 0xFFFFFFFF;

// The exports, in the order in which the binder resolves them.
using EnumReadersFn = const char*(WINAPI*)(int index);
using InitReaderFn = int(WINAPI*)(const char* readerName);
using CloseReaderFn = BOOL(WINAPI*)(int reader);
using InitCardFn = int(WINAPI*)(int reader, int application);
using CloseCardFn = BOOL(WINAPI*)(int reader, int flag);
using VerifyPINFn = BOOL(WINAPI*)(int reader, const char* pin);
using ChangePINFn = BOOL(WINAPI*)(int reader, const char* oldPin, const char* newPin);
using UnblockPINFn = BOOL(WINAPI*)(int reader, const char* unblockCode, const char* newPin);
using ReadDataFn = BOOL(WINAPI*)(int reader, DWORD offset, void* buffer, DWORD* length);
using WriteDataFn = BOOL(WINAPI*)(int reader, DWORD offset, const void* buffer, DWORD* length);
using DeleteDataFn = BOOL(WINAPI*)(int reader);
using SetDataSizeFn = BOOL(WINAPI*)(int reader, DWORD size);
using GetRandomFn = BOOL(WINAPI*)(int reader, BYTE* buffer, WORD length);
using GetReaderNameFn = const char*(WINAPI*)(int reader);
using GetReaderTypeFn = int(WINAPI*)(const char* readerName);
using IsDataExistFn = BOOL(WINAPI*)(int reader);
using IsDataExistingFn = BOOL(WINAPI*)(int reader, int application);
using GetCardIDFn = BOOL(WINAPI*)(int reader, BYTE* id, DWORD* length);
using GetCardTypeFn = int(WINAPI*)(int reader);
using EnumApplicationsFn = BOOL(WINAPI*)(int reader, DWORD* applications, DWORD* count);
using GetApplicationInfoFn = BOOL(WINAPI*)(int reader, int application, DWORD* value1, DWORD* value2);
using ReadLabelFn = BOOL(WINAPI*)(int reader, char* label);  // 32-byte buffer
using WriteLabelFn = BOOL(WINAPI*)(int reader, const char* label);
using ReadDataAppFn = BOOL(WINAPI*)(int reader, int application, DWORD offset, void* buffer, DWORD* length);
using WriteDataAppFn = BOOL(WINAPI*)(int reader, int application, DWORD offset, const void* buffer, DWORD* length);
using SetDataSizeAppFn = BOOL(WINAPI*)(int reader, int application, DWORD size);
using ReadBIRFn = BOOL(WINAPI*)(int reader, DWORD offset, void* buffer, DWORD* size);
using WriteBIRFn = BOOL(WINAPI*)(int reader, DWORD offset, const void* buffer, DWORD* size);
using SetBIRSizeFn = BOOL(WINAPI*)(int reader, DWORD size);
using DeleteBIRFn = BOOL(WINAPI*)(int reader);
using AnyReadersChangesFn = BOOL(WINAPI*)(int reserved);
using ExternalAuthFn = BOOL(WINAPI*)(int reader, const BYTE* data, DWORD length);
using ChangeIssuerKeyFn = BOOL(WINAPI*)(int reader, const BYTE* key, DWORD length);
using FormatCardFn = BOOL(WINAPI*)(int reader, const char* label, const char* pin);
using UnformatCardFn = BOOL(WINAPI*)(int reader);

// Test exports of the simulator (not part of the maker's interface).
// KeySimSetFault: the next `count` calls of the export `operation` fail with
// `error` (count 0 removes the fault). KeySimForceStatus: the next `count`
// InitCard calls on the reader return `status`. KeySimClearFaults: all off.
using KeySimSetFaultFn = BOOL(WINAPI*)(const char* operation, DWORD count, DWORD error);
using KeySimForceStatusFn = BOOL(WINAPI*)(const char* readerName, int status, DWORD count);
using KeySimClearFaultsFn = BOOL(WINAPI*)();

}  // namespace tvkey32
