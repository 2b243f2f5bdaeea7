// The block's six dialog parameters: how a value is read, and the validation of all six.
#pragma once

#include <cstdint>
#include <limits>

#include "block/conversion.h"
#include "block/parameter_codes.h"
#include "host/block_record.h"
#include "host/vq.h"

namespace quenvarith {

// The parameter's array, or null when the list does not hold it. A missing parameter is treated
// as one without elements, so a short list fails validation instead of being read past its end.
inline const VqArray* parameterArray(const DxpBlockRecord* record, Parameter parameter) {
  const auto index = static_cast<int32_t>(parameter);
  if (record->parameters == nullptr || index >= record->numParameters) {
    return nullptr;
  }
  return record->parameters[index];
}

// Element 0 of the parameter's real double data, read afresh at every call. Inline, as every
// step reads several: a parameter without real double data reads as NaN, whose integer form is
// 0, rather than as whatever lies behind a null pointer.
inline double parameterValue(const DxpBlockRecord* record, Parameter parameter) {
  const VqArray* array = parameterArray(record, parameter);
  const double* data = array != nullptr ? vqGetPr(array) : nullptr;
  return data != nullptr ? data[0] : std::numeric_limits<double>::quiet_NaN();
}

// The same value truncated toward zero to a 32-bit signed integer.
inline int32_t parameterInteger(const DxpBlockRecord* record, Parameter parameter) {
  return truncateToInt32(parameterValue(record, parameter));
}

// Validates all six parameters in the fixed order; the first failure goes to errorStatus.
void mdlCheckParameters(DxpBlockRecord* record);

}  // namespace quenvarith
