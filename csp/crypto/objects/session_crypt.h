// The message rules of encryption with a session key that do not depend on
// who calls: the chaining mode a KP_MODE value selects, the length of a
// final padded message, writing the padding and checking it after
// decryption.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <optional>
#include <span>

#include "csp/crypto/cipher/cipher.h"

namespace tv::csp {

// The block chaining behind a KP_MODE value: CBC, ECB, OFB and CFB (one
// whole block of feedback). Empty for CRYPT_MODE_CTS, which no cipher here
// offers, and for any other value: such a key must not encrypt at all rather
// than fall back to unchained blocks.
std::optional<crypto::CipherMode> ChainingMode(std::uint32_t kpMode);

// Length of a final message of `length` bytes padded to whole blocks of
// `blockLength`: the next multiple strictly above, so that 1 to blockLength
// bytes are always added. 64 bits wide, as it may not fit a DWORD.
std::uint64_t PaddedLength(std::uint64_t length, std::uint32_t blockLength);

// Fills the pad bytes of a final message per KP_PADDING: ZERO_PADDING
// writes zeros; PKCS5_PADDING and RANDOM_PADDING write the pad count in
// every byte.
void WritePadding(std::span<std::uint8_t> pad, std::uint32_t padding);

enum class PaddingFault {
  None,
  BadPadCount,      // PKCS5: last byte 0 or above the block length, or no block
  UnequalPadBytes,  // PKCS5: a pad byte differs from the count
  NoZeroPad,        // ZERO_PADDING: no block, or the last byte is not 0
};

struct PaddingCheck {
  PaddingFault fault = PaddingFault::None;
  std::uint32_t padBytes = 0;   // bytes to strip when there is no fault
  std::uint8_t faultValue = 0;  // the pad count, or the byte that broke the rule
};

// Checks the padding at the end of a decrypted final message of whole
// blocks. PKCS5_PADDING strips the count; ZERO_PADDING only checks that the
// message ends in a zero byte and strips nothing; RANDOM_PADDING is neither
// checked nor stripped. Reads only inside `message`.
PaddingCheck CheckPadding(std::span<const std::uint8_t> message, std::uint32_t blockLength,
                          std::uint32_t padding);

}  // namespace tv::csp
