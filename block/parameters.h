// The block's six dialog parameters: how a value is read, and the validation of all six.
#pragma once

#include <cstdint>

#include "block/parameter_codes.h"
#include "host/block_record.h"

namespace quenvarith {

// Element 0 of the parameter's real double data, read afresh at every call.
double parameterValue(const DxpBlockRecord* record, Parameter parameter);
// The same value truncated toward zero to a 32-bit signed integer.
int32_t parameterInteger(const DxpBlockRecord* record, Parameter parameter);

// Validates all six parameters in the fixed order; the first failure goes to errorStatus.
void mdlCheckParameters(DxpBlockRecord* record);

}  // namespace quenvarith
