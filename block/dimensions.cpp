#include "block/dimensions.h"

namespace quenvarith {

void mdlSetInputPortDimensionInfo(DxpBlockRecord* /*record*/, int32_t /*port*/,
                                  const DxpDimsInfo* /*dimsInfo*/) {}
void mdlSetOutputPortDimensionInfo(DxpBlockRecord* /*record*/, int32_t /*port*/,
                                   const DxpDimsInfo* /*dimsInfo*/) {}
int32_t setInputPortVectorDims(DxpBlockRecord* /*record*/, int32_t /*port*/, int32_t /*width*/) {
  return 1;
}
int32_t setOutputPortVectorDims(DxpBlockRecord* /*record*/, int32_t /*port*/, int32_t /*width*/) {
  return 1;
}
int32_t setInputPortMatrixDims(DxpBlockRecord* /*record*/, int32_t /*port*/, int32_t /*rows*/,
                               int32_t /*columns*/) {
  return 1;
}
int32_t setOutputPortMatrixDims(DxpBlockRecord* /*record*/, int32_t /*port*/, int32_t /*rows*/,
                                int32_t /*columns*/) {
  return 1;
}

}  // namespace quenvarith
