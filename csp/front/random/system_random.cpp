#include "csp/front/random/system_random.h"

#include <windows.h>
#include <ntsecapi.h>

namespace tv::csp {

bool ReadSystemRandom(std::span<std::uint8_t> out) {
  // RtlGenRandom takes a 32-bit length.
  constexpr std::size_t kMaxChunk = 1u << 30;
  while (!out.empty()) {
    const std::size_t chunk = std::min(out.size(), kMaxChunk);
    if (!RtlGenRandom(out.data(), static_cast<ULONG>(chunk))) return false;
    out = out.subspan(chunk);
  }
  return true;
}

}  // namespace tv::csp
