// The block's six dialog parameters: their indices, value codes, how a value is read, and the
// validation of all six.
#pragma once

#include <cstdint>

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
inline constexpr int32_t kParameterCount = 6;

enum class InputType : int32_t { Bit = 1, Integer = 2 };
enum class BitToSymbolMapping : int32_t { Binary = 1, Gray = 2 };
enum class PhaseContinuity : int32_t { Continuous = 1, Discontinuous = 2 };

// Element 0 of the parameter's real double data, read afresh at every call.
double parameterValue(const DxpBlockRecord* record, Parameter parameter);
// The same value truncated toward zero to a 32-bit signed integer.
int32_t parameterInteger(const DxpBlockRecord* record, Parameter parameter);

// Validates all six parameters in the fixed order; the first failure goes to errorStatus.
void mdlCheckParameters(DxpBlockRecord* record);

}  // namespace quenvarith
