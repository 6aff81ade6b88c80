#include "csp/crypto/objects/session_crypt.h"

#include <algorithm>

namespace tv::csp {
namespace {

PaddingCheck CheckPkcs5(std::span<const std::uint8_t> message, std::uint32_t blockLength) {
  const std::uint8_t count = message.empty() ? 0 : message.back();
  if (count == 0 || count > blockLength || count > message.size())
    return {PaddingFault::BadPadCount, 0, count};
  for (const std::uint8_t byte : message.last(count))
    if (byte != count) return {PaddingFault::UnequalPadBytes, 0, byte};
  return {PaddingFault::None, count, 0};
}

PaddingCheck CheckZeroEnd(std::span<const std::uint8_t> message) {
  if (message.empty()) return {PaddingFault::NoZeroPad, 0, 0};
  if (message.back() != 0) return {PaddingFault::NoZeroPad, 0, message.back()};
  return {};
}

}  // namespace

std::optional<crypto::CipherMode> ChainingMode(std::uint32_t kpMode) {
  switch (kpMode) {
    case CRYPT_MODE_CBC: return crypto::CipherMode::Cbc;
    case CRYPT_MODE_ECB: return crypto::CipherMode::Ecb;
    case CRYPT_MODE_OFB: return crypto::CipherMode::Ofb;
    case CRYPT_MODE_CFB: return crypto::CipherMode::Cfb;
    default: return std::nullopt;
  }
}

std::uint64_t PaddedLength(std::uint64_t length, std::uint32_t blockLength) {
  return length - length % blockLength + blockLength;
}

void WritePadding(std::span<std::uint8_t> pad, std::uint32_t padding) {
  const std::uint8_t value = padding == ZERO_PADDING ? 0 : static_cast<std::uint8_t>(pad.size());
  std::fill(pad.begin(), pad.end(), value);
}

PaddingCheck CheckPadding(std::span<const std::uint8_t> message, std::uint32_t blockLength,
                          std::uint32_t padding) {
  switch (padding) {
    case PKCS5_PADDING: return CheckPkcs5(message, blockLength);
    case ZERO_PADDING: return CheckZeroEnd(message);
    default: return {};
  }
}

}  // namespace tv::csp
