// Port dimension propagation: checking offered dimensions and settling the other port.
#pragma once

#include <cstdint>

#include "host/block_record.h"

namespace quenvarith {

void mdlSetInputPortDimensionInfo(DxpBlockRecord* record, int32_t port,
                                  const DxpDimsInfo* dimsInfo);
void mdlSetOutputPortDimensionInfo(DxpBlockRecord* record, int32_t port,
                                   const DxpDimsInfo* dimsInfo);

// Each hands the host's port-dimension operation a record it builds, and returns the
// operation's result (1 when the host offers none).
int32_t setInputPortVectorDims(DxpBlockRecord* record, int32_t port, int32_t width);
int32_t setOutputPortVectorDims(DxpBlockRecord* record, int32_t port, int32_t width);
int32_t setInputPortMatrixDims(DxpBlockRecord* record, int32_t port, int32_t rows, int32_t columns);
int32_t setOutputPortMatrixDims(DxpBlockRecord* record, int32_t port, int32_t rows,
                                int32_t columns);

}  // namespace quenvarith
