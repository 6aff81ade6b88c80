#include "csp/storage/token_key_block.h"

#include <cstring>

#include "csp/crypto/cpu/byte_order.h"
#include "csp/storage/registry_values.h"

namespace tv::csp {
namespace {

constexpr std::uint32_t kBlockVersion = 1;
constexpr std::size_t kVersionOffset = kContainerTagSize;
constexpr std::size_t kLengthOffset = kVersionOffset + 4;

}  // namespace

bool BuildTokenKeyBlock(ContainerTagBytes tag, std::span<const std::uint8_t> record, crypto::WipingBuffer& block) {
  if (record.size() > kMaxTokenKeyBlockSize - kTokenKeyBlockHeaderSize) return FailWith(static_cast<DWORD>(NTE_BAD_LEN));
  const std::size_t size = kTokenKeyBlockHeaderSize + record.size();
  block = crypto::WipingBuffer(size);
  if (block.Size() != size) return FailWith(static_cast<DWORD>(NTE_NO_MEMORY));
  std::memcpy(block.Data(), tag.data(), tag.size());
  crypto::StoreLittleEndian32(block.Data() + kVersionOffset, kBlockVersion);
  crypto::StoreLittleEndian32(block.Data() + kLengthOffset, static_cast<std::uint32_t>(record.size()));
  if (!record.empty()) std::memcpy(block.Data() + kTokenKeyBlockHeaderSize, record.data(), record.size());
  return true;
}

bool TokenKeyBlockHasTag(std::span<const std::uint8_t, kTokenKeyBlockHeaderSize> header, ContainerTagBytes tag) {
  return std::memcmp(header.data(), tag.data(), tag.size()) == 0;
}

bool TokenKeyBlockRecordLength(std::span<const std::uint8_t, kTokenKeyBlockHeaderSize> header, DWORD usedSize,
                               DWORD& recordLength) {
  recordLength = 0;
  if (usedSize < kTokenKeyBlockHeaderSize || crypto::LoadLittleEndian32(header.data() + kVersionOffset) != kBlockVersion ||
      crypto::LoadLittleEndian32(header.data() + kLengthOffset) != usedSize - kTokenKeyBlockHeaderSize)
    return FailWith(static_cast<DWORD>(NTE_KEYSET_ENTRY_BAD));
  recordLength = usedSize - static_cast<DWORD>(kTokenKeyBlockHeaderSize);
  return true;
}

}  // namespace tv::csp
