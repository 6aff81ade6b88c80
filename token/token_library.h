// The token library tvkey32.dll, bound at run time: all 35 entry points are
// required, even those no caller uses, so that a library of another shape is
// refused as a whole.
#pragma once
#include <windows.h>

#include "standins/tvkey32/tvkey32_api.h"

namespace tv::token {

inline constexpr const char* kTokenLibraryName = "tvkey32.dll";
inline constexpr int kTokenEntryCount = 35;

struct TokenLibrary {
  tvkey32::EnumReadersFn EnumReaders = nullptr;
  tvkey32::InitReaderFn InitReader = nullptr;
  tvkey32::CloseReaderFn CloseReader = nullptr;
  tvkey32::InitCardFn InitCard = nullptr;
  tvkey32::CloseCardFn CloseCard = nullptr;
  tvkey32::VerifyPINFn VerifyPIN = nullptr;
  tvkey32::ChangePINFn ChangePIN = nullptr;
  tvkey32::UnblockPINFn UnblockPIN = nullptr;
  tvkey32::ReadDataFn ReadData = nullptr;
  tvkey32::WriteDataFn WriteData = nullptr;
  tvkey32::DeleteDataFn DeleteData = nullptr;
  tvkey32::SetDataSizeFn SetDataSize = nullptr;
  tvkey32::GetRandomFn GetRandom = nullptr;
  tvkey32::GetReaderNameFn GetReaderName = nullptr;
  tvkey32::GetReaderTypeFn GetReaderType = nullptr;
  tvkey32::IsDataExistFn IsDataExist = nullptr;
  tvkey32::IsDataExistingFn IsDataExisting = nullptr;
  tvkey32::GetCardIDFn GetCardID = nullptr;
  tvkey32::GetCardTypeFn GetCardType = nullptr;
  tvkey32::EnumApplicationsFn EnumApplications = nullptr;
  tvkey32::GetApplicationInfoFn GetApplicationInfo = nullptr;
  tvkey32::ReadLabelFn ReadLabel = nullptr;
  tvkey32::WriteLabelFn WriteLabel = nullptr;
  tvkey32::ReadDataAppFn ReadDataApp = nullptr;
  tvkey32::WriteDataAppFn WriteDataApp = nullptr;
  tvkey32::SetDataSizeAppFn SetDataSizeApp = nullptr;
  tvkey32::ReadBIRFn ReadBIR = nullptr;
  tvkey32::WriteBIRFn WriteBIR = nullptr;
  tvkey32::SetBIRSizeFn SetBIRSize = nullptr;
  tvkey32::DeleteBIRFn DeleteBIR = nullptr;
  tvkey32::AnyReadersChangesFn AnyReadersChanges = nullptr;
  tvkey32::ExternalAuthFn ExternalAuth = nullptr;
  tvkey32::ChangeIssuerKeyFn ChangeIssuerKey = nullptr;
  tvkey32::FormatCardFn FormatCard = nullptr;
  tvkey32::UnformatCardFn UnformatCard = nullptr;
};

// Loads `fileName` (normal search order) and resolves the 35 names in their
// fixed order into `table`. On failure: null, `table` cleared, the library
// freed and the loader's error code left as the last error.
HMODULE BindTokenLibrary(const char* fileName, TokenLibrary& table);

}  // namespace tv::token
