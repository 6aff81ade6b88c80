#include "csp/storage/item_block.h"

#include <windows.h>

#include <cstring>

#include "csp/crypto/cpu/byte_order.h"
#include "csp/storage/registry_values.h"

namespace tv::csp {

bool BuildItemBlock(std::span<const std::uint8_t> record, crypto::WipingBuffer& block) {
  const std::size_t size = kItemBlockHeaderSize + record.size();
  block = crypto::WipingBuffer(size);
  if (block.Size() != size) return FailWith(static_cast<DWORD>(NTE_NO_MEMORY));
  crypto::StoreLittleEndian32(block.Data(), 1);
  crypto::StoreLittleEndian32(block.Data() + 4, static_cast<std::uint32_t>(record.size()));
  if (!record.empty()) std::memcpy(block.Data() + kItemBlockHeaderSize, record.data(), record.size());
  return true;
}

bool ItemBlockRecord(std::span<const std::uint8_t> item, std::span<const std::uint8_t>& record) {
  if (item.size() < kItemBlockHeaderSize ||
      crypto::LoadLittleEndian32(item.data() + 4) != item.size() - kItemBlockHeaderSize)
    return FailWith(static_cast<DWORD>(NTE_KEYSET_ENTRY_BAD));
  record = item.subspan(kItemBlockHeaderSize);
  return true;
}

}  // namespace tv::csp
