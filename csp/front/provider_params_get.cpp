#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "csp/front/algorithm_table.h"
#include "csp/front/process_state.h"
#include "csp/front/provider_identity.h"
#include "csp/front/provider_params.h"
#include "csp/front/provider_version.h"

namespace tv::csp {
namespace {

bool Failed(DWORD error) {
  SetLastError(error);
  return false;
}

bool CopyOut(const void* value, DWORD size, BYTE* data, DWORD* length) {
  if (!length) return Failed(ERROR_INVALID_PARAMETER);
  if (data) {
    if (*length < size) return Failed(ERROR_MORE_DATA);
    memcpy(data, value, size);
  }
  *length = size;
  return true;
}

bool CopyWord(DWORD value, BYTE* data, DWORD* length) { return CopyOut(&value, sizeof value, data, length); }

bool NextAlgorithm(std::uint16_t& position, AlgorithmForm form, BYTE* data, DWORD* length, DWORD flags) {
  if (flags & ~static_cast<DWORD>(CRYPT_FIRST)) return Failed(NTE_BAD_FLAGS);
  if (flags & CRYPT_FIRST) position = 0;
  if (position >= kAlgorithmCount) return Failed(ERROR_NO_MORE_ITEMS);
  const std::span<const BYTE> record = AlgorithmRecord(form, position);
  if (!CopyOut(record.data(), static_cast<DWORD>(record.size()), data, length)) return false;
  if (data) ++position;
  return true;
}

// The backend's enumeration fills the caller's buffer and length itself:
// a non-zero length after a failure is the size a short buffer lacked.
bool NextContainer(ProvContext& context, BYTE* data, DWORD* length, DWORD flags) {
  if (flags == CRYPT_FIRST) {
    context.enumContainerPos = 0;
  } else if (flags != 0 && flags != CRYPT_MACHINE_KEYSET) {
    return Failed(NTE_BAD_FLAGS);
  }
  if (!length) return Failed(ERROR_INVALID_PARAMETER);
  // A context that no backend would open lists no containers.
  if (!context.storage || !context.operations) return Failed(ERROR_NO_MORE_ITEMS);
  // Positions past the backend's 16-bit index turn negative: the end of the list.
  const auto index = static_cast<std::int16_t>(context.enumContainerPos);
  if (!context.operations->EnumKeyContainers(context.storage, index, reinterpret_cast<char*>(data), length))
    return Failed(*length ? ERROR_MORE_DATA : ERROR_NO_MORE_ITEMS);
  if (data) ++context.enumContainerPos;
  return true;
}

// A verify-only context has no container: its name is empty, not even a zero.
bool ContainerName(const ProvContext& context, BYTE* data, DWORD* length) {
  const DWORD size = context.verifyOnly ? 0 : static_cast<DWORD>(context.containerName.size() + 1);
  return CopyOut(context.containerName.c_str(), size, data, length);
}

bool ProviderName(BYTE* data, DWORD* length) {
  const std::string_view name = kProviderName;
  return CopyOut(name.data(), static_cast<DWORD>(name.size() + 1), data, length);
}

// Answers without data: the hardware generator is there or the parameter is unknown.
bool HardwareGenerator(const ProvContext& context, DWORD* length) {
  if (!HasHardwareGenerator(context)) return Failed(NTE_BAD_TYPE);
  if (length) *length = 0;
  return true;
}

// Size step of the RSA key lengths CPGenKey accepts, for either key spec.
constexpr DWORD kPairLengthStep = 8;

bool Enumerates(DWORD param) {
  return param == PP_ENUMALGS || param == PP_ENUMALGS_EX || param == PP_ENUMCONTAINERS;
}

}  // namespace

bool GetProviderParam(ProvContext& context, DWORD param, BYTE* data, DWORD* length, DWORD flags) {
  if (flags && !Enumerates(param)) return Failed(NTE_BAD_FLAGS);
  switch (param) {
    case PP_ENUMALGS: return NextAlgorithm(context.enumAlgPos, AlgorithmForm::Short, data, length, flags);
    case PP_ENUMALGS_EX: return NextAlgorithm(context.enumAlgExPos, AlgorithmForm::Extended, data, length, flags);
    case PP_ENUMCONTAINERS: return NextContainer(context, data, length, flags);
    case PP_IMPTYPE: return CopyWord(CRYPT_IMPL_SOFTWARE, data, length);
    case PP_NAME: return ProviderName(data, length);
    case PP_VERSION: return CopyWord(ProviderVersion(ModuleInstance), data, length);
    case PP_CONTAINER: return ContainerName(context, data, length);
    case PP_PROVTYPE: return CopyWord(kProviderType, data, length);
    case PP_USE_HARDWARE_RNG: return HardwareGenerator(context, length);
    case PP_KEYSPEC: return CopyWord(AT_KEYEXCHANGE | AT_SIGNATURE, data, length);
    case PP_KEYSET_TYPE: return CopyWord(context.machineKeyset ? CRYPT_MACHINE_KEYSET : 0, data, length);
    case PP_SIG_KEYSIZE_INC:
    case PP_KEYX_KEYSIZE_INC: return CopyWord(kPairLengthStep, data, length);
    // A container's key security can be set (PP_KEYSET_SEC_DESCR).
    case PP_KEYSTORAGE: return CopyWord(CRYPT_SEC_DESCR, data, length);
    default: return Failed(NTE_BAD_TYPE);
  }
}

}  // namespace tv::csp
