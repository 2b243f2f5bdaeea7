// The block's dialog parameters by index, and the codes its coded parameters take. Shared by the
// block and everything that fills its parameters; a host sees them only as numbers.
#pragma once

#include <concepts>
#include <cstdint>
#include <type_traits>

#include "host/block_record.h"

namespace quenvarith {

enum class Parameter : int32_t {
  MAryNumber = 0,
  InputType = 1,
  BitToSymbolMapping = 2,
  FrequencySeparation = 3,
  PhaseContinuity = 4,
  SamplesPerSymbol = 5,
};
inline constexpr int32_t kParameterCount = DXP_NUM_DIALOG_PARAMETERS;
static_assert(static_cast<int32_t>(Parameter::SamplesPerSymbol) + 1 == kParameterCount);

enum class InputType : int32_t { Bit = 1, Integer = 2 };
enum class BitToSymbolMapping : int32_t { Binary = 1, Gray = 2 };
enum class PhaseContinuity : int32_t { Continuous = 1, Discontinuous = 2 };

// The whole number a dialog parameter holds for `code`.
template <typename Code>
requires std::is_enum_v<Code> && std::same_as<std::underlying_type_t<Code>, int32_t>
constexpr int32_t codeOf(Code code) {
  return static_cast<int32_t>(code);
}

}  // namespace quenvarith
