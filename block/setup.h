// What the block declares to the host before a run, and the sample-time rules tying its ports.
#pragma once

#include <cstdint>

#include "host/block_record.h"

namespace quenvarith {

void mdlDeclareSizes(DxpBlockRecord* record);
void mdlSetInputPortSampleTime(DxpBlockRecord* record, int32_t port, double sampleTime,
                               double offset);
void mdlSetOutputPortSampleTime(DxpBlockRecord* record, int32_t port, double sampleTime,
                                double offset);
void mdlDeclareSampleTimes(DxpBlockRecord* record);
void mdlSetWorkWidths(DxpBlockRecord* record);

}  // namespace quenvarith
