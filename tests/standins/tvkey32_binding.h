// tvkey32.dll bound as the system binds it: LoadLibraryA under its bare name,
// then GetProcAddress of the 35 names in their fixed order, plus the
// simulator's test exports.
#pragma once
#include <windows.h>

#include <string>

#include "standins/tvkey32/tvkey32_api.h"

namespace tvtest {

// The 35 names, in the binder's order.
extern const char* const kTvkey32Names[35];

struct Tvkey32 {
  HMODULE module = nullptr;
  std::string missing;  // the first name that did not resolve

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

  tvkey32::KeySimSetFaultFn KeySimSetFault = nullptr;
  tvkey32::KeySimForceStatusFn KeySimForceStatus = nullptr;
  tvkey32::KeySimClearFaultsFn KeySimClearFaults = nullptr;

  // Loads and binds; false (with `missing` set) when a name is absent.
  bool Bind();
  ~Tvkey32();
};

}  // namespace tvtest
