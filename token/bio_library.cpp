#include "token/bio_library.h"

#include "token/library_binding.h"

namespace tv::token {

BioLibrary::BioLibrary(const char* fileName) {
  HMODULE module = LoadLibraryA(fileName);
  if (!module) return;
  BioUnusedFn unused = nullptr;
  ExportResolver resolve(module);
  resolve(unused, "BioEnumReaders");
  resolve(unused, "BioInitReader");
  resolve(unused, "BioCloseReader");
  resolve(unused, "BioVerifyBIR");
  resolve(getBirGui_, "BioGetBIR_GUI");
  resolve(verifyBirGui_, "BioVerifyBIR_GUI");
  resolve(unused, "BioCaptureBIR");
  resolve(unused, "BioCompareBIRS");
  resolve(unused, "BioCaptureBIR_GUI");
  resolve(unused, "BioGetBIR");
  if (!resolve.Ok()) {
    getBirGui_ = nullptr;
    verifyBirGui_ = nullptr;
    FreeAfterFailedBinding(module);
    return;
  }
  module_ = module;
}

BioLibrary::~BioLibrary() {
  if (!module_) return;
  const DWORD error = GetLastError();  // the outcome of the check is kept
  FreeLibrary(module_);
  SetLastError(error);
}

}  // namespace tv::token
