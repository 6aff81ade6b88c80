#include "token/biometric_check.h"

#include <cstdint>
#include <new>

#include "common/language.h"
#include "common/trace_log.h"
#include "token/processing_dialog.h"
#include "token/token_strings.h"

namespace tv::token {
namespace {

constexpr const char* kVerifyLabel = "VerifyBIR:";
constexpr const char* kChangeLabel = "ChangeBIR:";

// A biometric record in memory: zeroed when made, wiped when freed.
class RecordBuffer {
 public:
  explicit RecordBuffer(DWORD size) : data_(new (std::nothrow) BYTE[size]()), size_(data_ ? size : 0) {}
  ~RecordBuffer() {
    if (data_) SecureZeroMemory(data_, size_);
    delete[] data_;
  }
  RecordBuffer(const RecordBuffer&) = delete;
  RecordBuffer& operator=(const RecordBuffer&) = delete;
  bool Allocated() const { return data_ != nullptr; }
  BYTE* Data() { return data_; }

 private:
  BYTE* data_;
  DWORD size_;
};

// Shows `text` (error icon) and leaves `error` as the last error.
bool Fail(HWND owner, const char* caption, const char* text, DWORD error) {
  MessageBoxA(owner, text, caption, MB_OK | MB_ICONERROR);
  SetLastError(error);
  return false;
}

bool FailWithText(HWND owner, const char* caption, UINT textId, DWORD error) {
  return Fail(owner, caption, LoadStringText(textId, nullptr, -1), error);
}

bool OutOfMemory(HWND owner, const char* caption) {
  return Fail(owner, caption, FormatStringMessage(kTextInternalError, nullptr, kTextBufferSize, ERROR_NOT_ENOUGH_MEMORY),
              ERROR_NOT_ENOUGH_MEMORY);
}

}  // namespace

bool BiometricCheck::RecordSize(HWND owner, const char* caption, int reader, DWORD& size) const {
  size = 0;
  if (token_.ReadBIR(reader, 0, nullptr, &size)) return true;
  return FailWithText(owner, caption, kTextProcessingFailed, GetLastError());
}

void BiometricCheck::ReportLoadFailure(HWND owner, const char* caption) const {
  const DWORD error = GetLastError();
  WriteLog(LogError, kVerifyLabel, "Load bioapi failed: %08X.", static_cast<unsigned>(error));
  Fail(owner, caption, FormatStringMessage(kTextLoadFailed, nullptr, kTextBufferSize, bioLibrary_), error);
}

bool BiometricCheck::VerifyBIR(HINSTANCE resources, HWND owner, const char* caption, int reader) const {
  WriteLog(LogMonitor, kVerifyLabel, "ReadBIR what size?");
  DWORD size = 0;
  if (!RecordSize(owner, caption, reader, size)) return false;
  if (size == 0) return true;  // nothing to verify

  RecordBuffer record(size);
  if (!record.Allocated()) return OutOfMemory(owner, caption);
  WriteLog(LogMonitor, kVerifyLabel, "ReadBIR (hinst:%p, hwnd:%p)", static_cast<void*>(resources),
           static_cast<void*>(owner));
  const bool read = RunUnderProcessingDialog(resources, owner, caption, [&] {
    DWORD length = size;
    if (!token_.ReadBIR(reader, 0, record.Data(), &length)) return false;
    if (length == size) return true;
    SetLastError(ERROR_INVALID_DATA);  // the record changed size meanwhile
    return false;
  });
  if (!read) return false;

  WriteLog(LogMonitor, kVerifyLabel, "Load bioapi?");
  const BioLibrary bio(bioLibrary_);
  if (!bio.Bound()) {
    ReportLoadFailure(owner, caption);
    return false;
  }
  WriteLog(LogMonitor, kVerifyLabel, "BIOVerifyBIR");
  if (!bio.VerifyBirGui()(resources, owner, record.Data(), size, 0, 0)) {
    WriteLog(LogMonitor, kVerifyLabel, "BIOVerify return false");
    return false;
  }
  WriteLog(LogMonitor, kVerifyLabel, "exit");
  return true;
}

bool BiometricCheck::ChangeBIR(HINSTANCE resources, HWND owner, const char* caption, int reader) const {
  DWORD oldSize = 0;
  if (!RecordSize(owner, caption, reader, oldSize)) return false;
  const BioLibrary bio(bioLibrary_);
  if (!bio.Bound()) {
    ReportLoadFailure(owner, caption);
    return false;
  }
  DWORD newSize = 0;
  if (!bio.GetBirGui()(resources, owner, nullptr, &newSize, oldSize != 0 ? 1 : 0)) {
    WriteLog(LogMonitor, kChangeLabel, "BioGetBIR_GUI: %08X.", static_cast<unsigned>(GetLastError()));
    return false;  // the holder cancelled, or the capture failed
  }
  if (newSize == 0) {
    return RunUnderProcessingDialog(resources, owner, caption, [&] { return token_.DeleteBIR(reader) != FALSE; });
  }
  return WriteRecord(resources, owner, caption, reader, bio, oldSize, newSize);
}

bool BiometricCheck::WriteRecord(HINSTANCE resources, HWND owner, const char* caption, int reader,
                                 const BioLibrary& bio, DWORD oldSize, DWORD newSize) const {
  DWORD freeSpace = 0;
  if (!token_.WriteBIR(reader, 0, nullptr, &freeSpace))
    return FailWithText(owner, caption, kTextProcessingFailed, GetLastError());
  if (std::uint64_t{oldSize} + freeSpace < newSize)
    return FailWithText(owner, caption, kTextNoFreeSpace, static_cast<DWORD>(SCARD_E_NO_MEMORY));

  RecordBuffer record(newSize);
  if (!record.Allocated()) return OutOfMemory(owner, caption);
  DWORD size = newSize;
  if (!bio.GetBirGui()(resources, owner, record.Data(), &size, 1))
    return FailWithText(owner, caption, kTextProcessingFailed, GetLastError());
  if (size > newSize) return FailWithText(owner, caption, kTextProcessingFailed, ERROR_INVALID_DATA);
  return RunUnderProcessingDialog(resources, owner, caption, [&] {
    DWORD written = size;
    return token_.WriteBIR(reader, 0, record.Data(), &written) && token_.SetBIRSize(reader, size);
  });
}

}  // namespace tv::token
