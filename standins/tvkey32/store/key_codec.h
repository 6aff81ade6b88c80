// Encoding of a KeyState as the payload of a Key file (a Key of the
// simulator directory or a ".tva" container file).
#pragma once
#include <optional>
#include <span>

#include "standins/tvkey32/store/key_state.h"

namespace tv::keysim {

SecretBytes EncodeKey(const KeyState& key);

// nullopt when the payload is not a consistent Key.
std::optional<KeyState> DecodeKey(std::span<const std::uint8_t> payload);

}  // namespace tv::keysim
