// The ContainerTag of a container name: the first 5 bytes of the MD5 digest
// of the name with its terminating zero byte. It tells whose a stored key
// is without storing the name, and it keys the keystream that obscures a
// Protected Storage container's registry values.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

namespace tv::csp {

inline constexpr std::size_t kContainerTagSize = 5;

// Writes the tag of `name` into `tag`; false (NTE_NO_MEMORY) when the hash
// context cannot be made.
bool ContainerTag(const char* name, std::span<std::uint8_t, kContainerTagSize> tag);

}  // namespace tv::csp
