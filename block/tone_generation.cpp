#include "block/tone_generation.h"

namespace quenvarith {

void mdlInitializeConditions(DxpBlockRecord* /*record*/) {}
void mdlComputeOutputs(DxpBlockRecord* /*record*/, int32_t /*taskId*/) {}
void mdlFinish(DxpBlockRecord* /*record*/) {}

}  // namespace quenvarith
