#include "tests/csp/pstore/standin_store.h"

#include <cstdlib>
#include <cstring>

namespace tvtest {
namespace {

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size() + 1, L'\0');
  wide.resize(std::mbstowcs(wide.data(), text.c_str(), wide.size()));
  return wide;
}

}  // namespace

ScopedStandInStore::ScopedStandInStore() { SetEnvironmentVariableA("TV_PSTORE_DIR", directory_.Path().c_str()); }

ScopedStandInStore::~ScopedStandInStore() { SetEnvironmentVariableA("TV_PSTORE_DIR", nullptr); }

void ScopedStandInStore::SwitchToEmptyStore() { SetEnvironmentVariableA("TV_PSTORE_DIR", spare_.Path().c_str()); }

std::string StandInDirectory() { return ProgramDirectory() + "\\pstore-standin"; }

StandIn::StandIn() {
  SetDllDirectoryA(StandInDirectory().c_str());
  library_ = LoadLibraryA("pstorec.dll");
  if (!library_) return;
  using Create = HRESULT(WINAPI*)(IPStore**, PST_PROVIDERID*, void*, DWORD);
  const auto create =
      reinterpret_cast<Create>(reinterpret_cast<void (*)()>(GetProcAddress(library_, "PStoreCreateInstance")));
  confirmationStyle_ = reinterpret_cast<StyleFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(library_, "StandInItemConfirmationStyle")));
  if (create && create(&store_, nullptr, nullptr, 0) != S_OK) store_ = nullptr;
  if (!store_) confirmationStyle_ = nullptr;
}

StandIn::~StandIn() {
  if (store_) store_->Release();
  if (library_) FreeLibrary(library_);
}

std::optional<Bytes> StandIn::Item(const GUID& subtype, const std::string& container) const {
  DWORD size = 0;
  BYTE* data = nullptr;
  if (!Loaded() ||
      store_->ReadItem(PST_KEY_LOCAL_MACHINE, &kKeyType, &subtype, Wide(container).c_str(), &size, &data, nullptr,
                       0) != S_OK)
    return std::nullopt;
  Bytes item(data, data + size);
  LocalFree(data);
  return item;
}

HRESULT StandIn::WriteItem(const GUID& subtype, const std::string& container, Bytes data) const {
  if (!Loaded()) return E_FAIL;
  return store_->WriteItem(PST_KEY_LOCAL_MACHINE, &kKeyType, &subtype, Wide(container).c_str(),
                           static_cast<DWORD>(data.size()), data.data(), nullptr, PST_CF_NONE, 0);
}

HRESULT StandIn::DeleteItem(const GUID& subtype, const std::string& container) const {
  if (!Loaded()) return E_FAIL;
  return store_->DeleteItem(PST_KEY_LOCAL_MACHINE, &kKeyType, &subtype, Wide(container).c_str(), nullptr, 0);
}

std::optional<DWORD> StandIn::ConfirmationStyle(const GUID& subtype, const std::string& container) const {
  DWORD style = 0xFFFFFFFF;
  if (!Loaded() ||
      confirmationStyle_(PST_KEY_LOCAL_MACHINE, &kKeyType, &subtype, Wide(container).c_str(), &style) != S_OK)
    return std::nullopt;
  return style;
}

Bytes ItemBlock(const Bytes& record) {
  Bytes block(8 + record.size());
  const std::uint32_t header[2] = {1, static_cast<std::uint32_t>(record.size())};
  std::memcpy(block.data(), header, sizeof header);
  std::memcpy(block.data() + 8, record.data(), record.size());
  return block;
}

}  // namespace tvtest
