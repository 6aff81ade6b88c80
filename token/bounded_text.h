// Copies of texts that come from outside (the token library, the caller)
// into fixed fields: never more than the field holds, always terminated.
#pragma once
#include <cstddef>
#include <cstring>

namespace tv::token {

// Copies at most `maxLength` bytes of `source` (and never more than the
// field holds) into `field`, terminated; a null source gives "".
template <std::size_t N>
void CopyBounded(char (&field)[N], const char* source, std::size_t maxLength = N - 1) {
  static_assert(N > 0);
  if (maxLength > N - 1) maxLength = N - 1;
  const std::size_t length = source ? strnlen(source, maxLength) : 0;
  std::memcpy(field, source ? source : "", length);
  field[length] = '\0';
}

}  // namespace tv::token
