#include "token/token_library.h"

#include "token/library_binding.h"

namespace tv::token {

HMODULE BindTokenLibrary(const char* fileName, TokenLibrary& table) {
  table = {};
  HMODULE module = LoadLibraryA(fileName);
  if (!module) return nullptr;
  TokenLibrary t;
  ExportResolver resolve(module);
  resolve(t.EnumReaders, "EnumReaders");
  resolve(t.InitReader, "InitReader");
  resolve(t.CloseReader, "CloseReader");
  resolve(t.InitCard, "InitCard");
  resolve(t.CloseCard, "CloseCard");
  resolve(t.VerifyPIN, "VerifyPIN");
  resolve(t.ChangePIN, "ChangePIN");
  resolve(t.UnblockPIN, "UnblockPIN");
  resolve(t.ReadData, "ReadData");
  resolve(t.WriteData, "WriteData");
  resolve(t.DeleteData, "DeleteData");
  resolve(t.SetDataSize, "SetDataSize");
  resolve(t.GetRandom, "GetRandom");
  resolve(t.GetReaderName, "GetReaderName");
  resolve(t.GetReaderType, "GetReaderType");
  resolve(t.IsDataExist, "IsDataExist");
  resolve(t.IsDataExisting, "IsDataExisting");
  resolve(t.GetCardID, "GetCardID");
  resolve(t.GetCardType, "GetCardType");
  resolve(t.EnumApplications, "EnumApplications");
  resolve(t.GetApplicationInfo, "GetApplicationInfo");
  resolve(t.ReadLabel, "ReadLabel");
  resolve(t.WriteLabel, "WriteLabel");
  resolve(t.ReadDataApp, "ReadDataApp");
  resolve(t.WriteDataApp, "WriteDataApp");
  resolve(t.SetDataSizeApp, "SetDataSizeApp");
  resolve(t.ReadBIR, "ReadBIR");
  resolve(t.WriteBIR, "WriteBIR");
  resolve(t.SetBIRSize, "SetBIRSize");
  resolve(t.DeleteBIR, "DeleteBIR");
  resolve(t.AnyReadersChanges, "AnyReadersChanges");
  resolve(t.ExternalAuth, "ExternalAuth");
  resolve(t.ChangeIssuerKey, "ChangeIssuerKey");
  resolve(t.FormatCard, "FormatCard");
  resolve(t.UnformatCard, "UnformatCard");
  if (!resolve.Ok()) {
    FreeAfterFailedBinding(module);
    return nullptr;
  }
  table = t;
  return module;
}

}  // namespace tv::token
