// Small helpers of the cipher tests: a set-up state and whole-message runs
// through a record.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <vector>

#include "cipher/cipher.h"
#include "cpu/wipe.h"

namespace tvtest {

// A state set up with key, lengthWord and iv; empty (and a gtest failure)
// when set-up refuses them.
inline tv::crypto::WipingBuffer SetUpCipher(const tv::crypto::CipherAlgorithm& algorithm,
                                            std::span<const std::uint8_t> key,
                                            std::uint32_t lengthWord,
                                            std::span<const std::uint8_t> iv = {}) {
  tv::crypto::WipingBuffer state(algorithm.stateSize);
  if (!algorithm.setup(state.Data(), key, lengthWord, iv)) {
    ADD_FAILURE() << algorithm.name << " set-up refused a key of " << key.size()
                  << " bytes, length word " << lengthWord;
    return {};
  }
  return state;
}

enum class Direction { Encrypt, Decrypt };

// Runs data through an already set-up state in one call.
inline std::vector<std::uint8_t> Crypt(const tv::crypto::CipherAlgorithm& algorithm,
                                     tv::crypto::WipingBuffer& state, Direction direction,
                                     tv::crypto::CipherMode mode, std::vector<std::uint8_t> data) {
  const auto operation = direction == Direction::Encrypt ? algorithm.encrypt : algorithm.decrypt;
  EXPECT_TRUE(state.Size() != 0 && operation(state.Data(), data, mode)) << algorithm.name;
  return data;
}

// Sets up a fresh state and runs data through it in one call.
inline std::vector<std::uint8_t> CryptFresh(const tv::crypto::CipherAlgorithm& algorithm,
                                          std::span<const std::uint8_t> key, std::uint32_t lengthWord,
                                          std::span<const std::uint8_t> iv, Direction direction,
                                          tv::crypto::CipherMode mode, std::vector<std::uint8_t> data) {
  tv::crypto::WipingBuffer state = SetUpCipher(algorithm, key, lengthWord, iv);
  return Crypt(algorithm, state, direction, mode, std::move(data));
}

}  // namespace tvtest
