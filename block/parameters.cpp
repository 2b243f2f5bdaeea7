#include "block/parameters.h"

#include "block/conversion.h"
#include "host/vq.h"

namespace quenvarith {

double parameterValue(const DxpBlockRecord* record, Parameter parameter) {
  return vqGetPr(record->parameters[static_cast<int32_t>(parameter)])[0];
}

int32_t parameterInteger(const DxpBlockRecord* record, Parameter parameter) {
  return truncateToInt32(parameterValue(record, parameter));
}

void mdlCheckParameters(DxpBlockRecord* /*record*/) {}

}  // namespace quenvarith
