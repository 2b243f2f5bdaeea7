#include "block/setup.h"

namespace quenvarith {

void mdlDeclareSizes(DxpBlockRecord* /*record*/) {}
void mdlSetInputPortSampleTime(DxpBlockRecord* /*record*/, int32_t /*port*/, double /*sampleTime*/,
                               double /*offset*/) {}
void mdlSetOutputPortSampleTime(DxpBlockRecord* /*record*/, int32_t /*port*/, double /*sampleTime*/,
                                double /*offset*/) {}
void mdlDeclareSampleTimes(DxpBlockRecord* /*record*/) {}
void mdlSetWorkWidths(DxpBlockRecord* /*record*/) {}

}  // namespace quenvarith
