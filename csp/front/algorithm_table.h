// The algorithms the provider implements, in the order PP_ENUMALGS and
// PP_ENUMALGS_EX report them. Each row is kept in both record forms, ready
// to be copied to the caller as it stands.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <span>

namespace tv::csp {

inline constexpr std::size_t kAlgorithmCount = 20;

enum class AlgorithmForm {
  Short,     // PROV_ENUMALGS, 32 bytes
  Extended,  // PROV_ENUMALGS_EX, 88 bytes
};

// The bytes of row `index` (below kAlgorithmCount) in the given form.
std::span<const BYTE> AlgorithmRecord(AlgorithmForm form, std::size_t index);

}  // namespace tv::csp
