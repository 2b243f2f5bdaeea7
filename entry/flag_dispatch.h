// The flag call: the host's second way into the block, which runs the method a numeric flag
// names, or reports in the error status that the record holds no such method.
#pragma once

#include <cstdint>

#include "block/setup.h"
#include "block/tone_generation.h"
#include "host/block_record.h"
#include "host/vq.h"

namespace quenvarith::entry {

// The block's methods that flags run directly rather than through the method table.
struct DirectMethods {
  DxpMethod sampleTimes;
  DxpMethod initialConditions;
  DxpOutputsMethod outputs;
};
inline constexpr DirectMethods kBlockDirectMethods{&mdlDeclareSampleTimes, &mdlInitializeConditions,
                                                   &mdlComputeOutputs};

// Task id that DXP_FLAG_COMPUTE_OUTPUTS passes through when callArgument holds it; any other
// value gives 0.
inline constexpr int32_t kPassedTaskId = -2;

// Runs the method that `flag` (a DxpFlag) names on `record`. Never raises: an empty slot or an
// unknown flag is reported through the record's error status.
void dispatchFlag(DxpBlockRecord* record, int32_t flag,
                  const DirectMethods& direct = kBlockDirectMethods);

// A flag call of dxpFunction: the record in left-hand slot 2, the flag in right-hand argument
// 4, truncated toward zero. Without a record it does nothing; a flag that cannot be read is
// reported as an invalid flag.
void processFlagCall(VqArray* plhs[], int nrhs, const VqArray* prhs[],
                     const DirectMethods& direct = kBlockDirectMethods);

}  // namespace quenvarith::entry
