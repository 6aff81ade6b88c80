#include "certstore/prov_info_blob.h"

#include <cstring>
#include <cwchar>

#include "certstore/cert_record.h"
#include "common/trace_log.h"

namespace tv::certstore {
namespace {

constexpr DWORD kNumbersLength = 20;  // type, flags, parameter count, 0, key spec

DWORD StringBytes(const wchar_t* text) { return text ? static_cast<DWORD>(std::wcslen(text) * sizeof(wchar_t)) : 0; }

bool ArgumentsUsable(const char* label, DWORD propertyId, const void* in, const void* out, const DWORD* length) {
  if (!in || !out || !length) {
    WriteLog(LogError, label, "incorrect parametr");
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (propertyId != CERT_KEY_PROV_INFO_PROP_ID) {
    WriteLog(LogError, label, "unknow property %08X", static_cast<unsigned>(propertyId));
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

BYTE* PutString(BYTE* p, const wchar_t* text, DWORD bytes) {
  WriteU32(p, bytes);
  if (bytes) std::memcpy(p + 4, text, bytes);
  return p + 4 + bytes;
}

// One counted string of the blob, moved past; false when its count is odd or
// passes the end.
bool TakeString(std::span<const BYTE>& rest, std::span<const BYTE>& text) {
  if (rest.size() < 4) return false;
  const DWORD bytes = ReadU32(rest.data());
  if (bytes % sizeof(wchar_t) != 0 || bytes > rest.size() - 4) return false;
  text = rest.subspan(4, bytes);
  rest = rest.subspan(4 + bytes);
  return true;
}

wchar_t* PlaceString(BYTE* at, std::span<const BYTE> text) {
  std::memcpy(at, text.data(), text.size());
  std::memset(at + text.size(), 0, sizeof(wchar_t));
  return reinterpret_cast<wchar_t*>(at);
}

}  // namespace

bool SerializeProvInfo(DWORD propertyId, const CRYPT_KEY_PROV_INFO* info, BYTE* out, DWORD* length) {
  constexpr const char* kLabel = "serialize_prop:";
  if (!ArgumentsUsable(kLabel, propertyId, info, out, length)) return false;
  if (info->cProvParam != 0) {
    WriteLog(LogError, kLabel, "не поддерживаем сериализацию массива ProvParam");
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  const DWORD containerBytes = StringBytes(info->pwszContainerName);
  const DWORD providerBytes = StringBytes(info->pwszProvName);
  const DWORD needed = 8 + containerBytes + providerBytes + kNumbersLength;
  if (containerBytes > kProvInfoBufferSize || providerBytes > kProvInfoBufferSize || *length < needed) {
    WriteLog(LogError, kLabel, "not enough buffer for serializing ProvInfo buf_len=%d, serialized_len=%d",
             static_cast<int>(*length), static_cast<int>(needed));
    SetLastError(ERROR_MORE_DATA);
    return false;
  }
  BYTE* p = PutString(out, info->pwszContainerName, containerBytes);
  p = PutString(p, info->pwszProvName, providerBytes);
  const DWORD numbers[5] = {info->dwProvType, info->dwFlags, 0, 0, info->dwKeySpec};
  for (DWORD value : numbers) {
    WriteU32(p, value);
    p += 4;
  }
  *length = needed;
  return true;
}

bool UnserializeProvInfo(DWORD propertyId, std::span<const BYTE> blob, BYTE* out, DWORD* length) {
  constexpr const char* kLabel = "unserialize_prop:";
  if (!ArgumentsUsable(kLabel, propertyId, blob.data(), out, length)) return false;
  std::span<const BYTE> rest = blob, container, provider;
  if (!TakeString(rest, container) || !TakeString(rest, provider) || rest.size() != kNumbersLength) {
    WriteLog(LogError, kLabel, "lengths do not match the blob of %u bytes", static_cast<unsigned>(blob.size()));
    SetLastError(static_cast<DWORD>(CRYPT_E_BAD_ENCODE));
    return false;
  }
  const std::size_t needed =
      sizeof(CRYPT_KEY_PROV_INFO) + container.size() + provider.size() + 2 * sizeof(wchar_t);
  if (*length < needed) {
    WriteLog(LogError, kLabel, "not enough buffer for unserializing ProvInfo buf_len=%d, unserialized_len=%d",
             static_cast<int>(*length), static_cast<int>(needed));
    SetLastError(ERROR_MORE_DATA);
    return false;
  }
  auto* info = reinterpret_cast<CRYPT_KEY_PROV_INFO*>(out);
  BYTE* strings = out + sizeof(CRYPT_KEY_PROV_INFO);
  info->pwszContainerName = PlaceString(strings, container);
  info->pwszProvName = PlaceString(strings + container.size() + sizeof(wchar_t), provider);
  const BYTE* numbers = rest.data();
  info->dwProvType = ReadU32(numbers);
  info->dwFlags = ReadU32(numbers + 4);
  info->cProvParam = 0;  // never kept on the Key
  info->rgProvParam = nullptr;
  info->dwKeySpec = ReadU32(numbers + 16);
  *length = static_cast<DWORD>(needed);
  return true;
}

}  // namespace tv::certstore
