// The Key's data area as the Key backend writes it:
//
//   offset 0    5 bytes  ContainerTag of the container's name
//          5    u32 1
//          9    u32 record length L
//         13    the L bytes of the private stored key record
//
// Integers little-endian. The block is written in one piece and the area's
// used size is then set to its size, so a sound block's length field is the
// used size less the header. The Key's write takes a 16-bit count: no block
// is larger than 65535 bytes.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <span>

#include "csp/crypto/cpu/wipe.h"
#include "csp/storage/container_tag.h"

namespace tv::csp {

inline constexpr std::size_t kTokenKeyBlockHeaderSize = 13;
inline constexpr std::size_t kMaxTokenKeyBlockSize = 0xFFFF;

using ContainerTagBytes = std::span<const std::uint8_t, kContainerTagSize>;

// The block holding `record` for the container with `tag`, in a buffer
// wiped when it goes away. False with NTE_BAD_LEN for a record that would
// make the block larger than 65535 bytes, NTE_NO_MEMORY when the buffer
// cannot be allocated.
bool BuildTokenKeyBlock(ContainerTagBytes tag, std::span<const std::uint8_t> record, crypto::WipingBuffer& block);

// Whether a block's header carries the tag.
bool TokenKeyBlockHasTag(std::span<const std::uint8_t, kTokenKeyBlockHeaderSize> header, ContainerTagBytes tag);

// The record length of a block whose header was read from a data area of
// `usedSize` bytes. False with NTE_KEYSET_ENTRY_BAD when the area is shorter
// than the header, the header's version is not 1, or its length field
// disagrees with the used size.
bool TokenKeyBlockRecordLength(std::span<const std::uint8_t, kTokenKeyBlockHeaderSize> header, DWORD usedSize,
                               DWORD& recordLength);

}  // namespace tv::csp
