// The data of a Protected Storage item that holds a private key record:
//
//   offset 0   u32 1
//          4   u32 record length L
//          8   the L bytes of the private stored key record
//
// Integers little-endian.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "csp/crypto/cpu/wipe.h"

namespace tv::csp {

inline constexpr std::size_t kItemBlockHeaderSize = 8;

// The block around `record`, in a buffer wiped when it goes away; false
// (NTE_NO_MEMORY) when it cannot be allocated.
bool BuildItemBlock(std::span<const std::uint8_t> record, crypto::WipingBuffer& block);

// The record inside an item. False with NTE_KEYSET_ENTRY_BAD when the item
// is shorter than the header or its length field disagrees with its size.
bool ItemBlockRecord(std::span<const std::uint8_t> item, std::span<const std::uint8_t>& record);

}  // namespace tv::csp
