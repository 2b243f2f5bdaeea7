// The modulator proper: per-tone phase steps, phase state, and N samples per symbol.
#pragma once

#include <cstdint>

#include "host/block_record.h"

namespace quenvarith {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoPi = 6.283185307179586;

void mdlInitializeConditions(DxpBlockRecord* record);
void mdlComputeOutputs(DxpBlockRecord* record, int32_t taskId);
// End of run: nothing to release, since the host owns every buffer.
void mdlFinish(DxpBlockRecord* record);

}  // namespace quenvarith
