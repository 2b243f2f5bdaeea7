// The instruction-set levels a synthesis kernel is written for, and their names as the
// QUENVARITH_KERNEL environment variable gives them. Plain C++ only: the command includes it to
// check the variable's word without pulling in any vector code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quenvarith {

// From the narrowest to the widest.
enum class KernelLevel : uint8_t {
  plain,   // std::cos and std::sin, one sample at a time: runs everywhere
  avx2,    // 4 lanes, AVX2 and FMA
  avx512,  // 8 lanes, AVX-512F
};

inline constexpr std::array kKernelLevels = {KernelLevel::plain, KernelLevel::avx2,
                                             KernelLevel::avx512};

// The names, in the order of kKernelLevels.
inline constexpr std::array<std::string_view, kKernelLevels.size()> kKernelLevelNames = {
    "plain", "avx2", "avx512"};

// The environment variable that names the level to use.
inline constexpr const char* kKernelVariable = "QUENVARITH_KERNEL";

constexpr std::string_view kernelLevelName(KernelLevel level) {
  return kKernelLevelNames.at(static_cast<std::size_t>(level));
}

// The level a word names, exactly as kKernelLevelNames spells it; none for any other word.
constexpr std::optional<KernelLevel> parseKernelLevel(std::string_view word) {
  for (std::size_t index = 0; index < kKernelLevels.size(); ++index) {
    if (kKernelLevelNames.at(index) == word) {
      return kKernelLevels.at(index);
    }
  }
  return std::nullopt;
}

}  // namespace quenvarith
