#include "standins/tvkey32/store/os_random.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>

namespace tv::keysim {

bool FillRandom(std::span<std::uint8_t> out) {
  if (out.empty()) return true;
  const NTSTATUS status = BCryptGenRandom(nullptr, out.data(), static_cast<ULONG>(out.size()),
                                          BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  if (BCRYPT_SUCCESS(status)) return true;
  std::fill(out.begin(), out.end(), std::uint8_t{0});
  return false;
}

}  // namespace tv::keysim
