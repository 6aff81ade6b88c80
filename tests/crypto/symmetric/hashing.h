// Small helpers of the hash tests: one-shot digests through a record.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cpu/wipe.h"
#include "hash/hash.h"
#include "test_message.h"
#include "vector_file.h"

namespace tvtest {

inline std::span<const std::uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

inline std::string DigestHex(const tv::crypto::HashAlgorithm& algorithm,
                             std::span<const std::uint8_t> data) {
  tv::crypto::WipingBuffer context(algorithm.contextSize);
  std::uint8_t digest[tv::crypto::kMaxDigestSize];
  algorithm.init(context.Data());
  algorithm.update(context.Data(), data);
  algorithm.final(context.Data(), digest);
  return ToHex(digest, algorithm.digestSize);
}

inline std::string FinalHex(const tv::crypto::HashAlgorithm& algorithm, void* context) {
  std::uint8_t digest[tv::crypto::kMaxDigestSize];
  algorithm.final(context, digest);
  return ToHex(digest, algorithm.digestSize);
}

}  // namespace tvtest
