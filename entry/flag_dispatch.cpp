#include "entry/flag_dispatch.h"

#include "block/conversion.h"
#include "entry/texts.h"

namespace quenvarith::entry {

namespace {

constexpr int kRecordSlot = 1;    // left-hand slot 2
constexpr int kFlagArgument = 3;  // right-hand argument 4
constexpr int32_t kFirstFlag = DXP_FLAG_DECLARE_SAMPLE_TIMES;
constexpr int32_t kLastFlag = DXP_FLAG_SET_DEFAULT_PORT_COMPLEX_SIGNALS;

constexpr char kNoInitialConditions[] = "Unexpected call to mdlInitializeConditions";
constexpr char kNoWorkWidths[] = "Unexpected call to mdlSetWorkWidths";
constexpr char kNoCheckParameters[] = "Unexpected call to mdlCheckParameters";
constexpr char kNoInputPortDataType[] = "Unexpected call to mdlSetInputPortDataType";
constexpr char kNoOutputPortDataType[] = "Unexpected call to mdlSetOutputPortDataType";
constexpr char kNoInputPortWidth[] = "Unexpected call to mdlSetInputPortWidth";
constexpr char kNoOutputPortWidth[] = "Unexpected call to mdlSetOutputPortWidth";
constexpr char kNoStart[] = "Unexpected call to mdlStart";
constexpr char kNoProcessParameters[] = "Unexpected call to mdlProcessParameters";
constexpr char kNoInputPortComplexSignal[] = "Unexpected call to mdlSetInputPortComplexSignal";
constexpr char kNoOutputPortComplexSignal[] = "Unexpected call to mdlSetOutputPortComplexSignal";
constexpr char kNoInputPortSampleTime[] = "Unexpected call to mdlSetInputPortSampleTime";
constexpr char kNoOutputPortSampleTime[] = "Unexpected call to mdlSetOutputPortSampleTime";
constexpr char kNoInputPortDimensionInfo[] = "Unexpected call to mdlSetInputPortDimensionInfo";
constexpr char kNoOutputPortDimensionInfo[] = "Unexpected call to mdlSetOutputPortDimensionInfo";
constexpr char kNoInputPortFrameData[] = "Unexpected call to mdlSetInputPortFrameData";
constexpr char kNoDefaultPortDimensionInfo[] = "Unexpected call to mdlSetDefaultPortDimensionInfo";
constexpr char kNoDefaultPortDataTypes[] = "Unexpected call to mdlSetDefaultPortDataTypes";
constexpr char kNoDefaultPortComplexSignals[] =
    "Unexpected call to mdlSetDefaultPortComplexSignals";

// Calls `slot` with the record and `arguments`, or stores `missing` when the slot is empty.
template <typename Slot, typename... Arguments>
void callSlot(DxpBlockRecord* record, Slot slot, const char* missing, Arguments... arguments) {
  if (slot == nullptr) {
    dxpSetErrorStatus(record, missing);
    return;
  }
  slot(record, arguments...);
}

bool portSlotsTakeDimensions(const DxpBlockRecord* record) {
  return (record->flagWord & DXP_FLAG_PORT_DIMENSION_INFO) != 0u;
}

// A record without an extension record has none of its slots.
const DxpExtension& extensionOf(const DxpBlockRecord* record) {
  static constexpr DxpExtension kNoExtension{};
  return record->extension != nullptr ? *record->extension : kNoExtension;
}

}  // namespace

void dispatchFlag(DxpBlockRecord* record, int32_t flag, const DirectMethods& direct) {
  const DxpMethodTable& methods = record->methods;
  const DxpSimInfo* simInfo = record->simInfo;
  const int32_t port = record->sizes[DXP_WORD_CALL_ARGUMENT];

  if (flag < kFirstFlag || flag > kLastFlag) {
    dxpSetErrorStatus(record, kInvalidFlagMessage);
    return;
  }
  // Within the table's range the number is a value of DxpFlag; a gap in it is reported below.
  switch (static_cast<DxpFlag>(flag)) {
    case DXP_FLAG_DECLARE_SAMPLE_TIMES:
      direct.sampleTimes(record);
      return;
    case DXP_FLAG_INITIALIZE_CONDITIONS:
      if (methods.initialConditions == nullptr) {
        dxpSetErrorStatus(record, kNoInitialConditions);
        return;
      }
      direct.initialConditions(record);
      return;
    case DXP_FLAG_TIME_OF_NEXT_VAR_HIT:
      dxpSetErrorStatus(record, kNoVariableHitMessage);
      return;
    case DXP_FLAG_COMPUTE_OUTPUTS:
      direct.outputs(record, port == kPassedTaskId ? kPassedTaskId : 0);
      return;
    case DXP_FLAG_IGNORED:
      return;
    case DXP_FLAG_ZERO_CROSSINGS:
      dxpSetErrorStatus(record, kNoZeroCrossingsMessage);
      return;
    case DXP_FLAG_SET_WORK_WIDTHS:
      callSlot(record, methods.workWidths, kNoWorkWidths);
      return;
    case DXP_FLAG_CHECK_PARAMETERS:
      callSlot(record, methods.checkParameters, kNoCheckParameters);
      return;
    case DXP_FLAG_SET_INPUT_PORT_DATA_TYPE:
      callSlot(record, methods.inputPortDataType, kNoInputPortDataType, port, simInfo->argCallWord);
      return;
    case DXP_FLAG_SET_OUTPUT_PORT_DATA_TYPE:
      callSlot(record, methods.outputPortDataType, kNoOutputPortDataType, port,
               simInfo->argCallWord);
      return;
    case DXP_FLAG_SET_INPUT_PORT_WIDTH:
      // With the bit set the slot holds a dimension-info method, which a width must not reach.
      if (portSlotsTakeDimensions(record)) {
        dxpSetErrorStatus(record, kNoInputPortWidth);
        return;
      }
      callSlot(record, methods.inputPortWidthOrDims.width, kNoInputPortWidth, port,
               simInfo->argCallWord);
      return;
    case DXP_FLAG_SET_OUTPUT_PORT_WIDTH:
      if (portSlotsTakeDimensions(record)) {
        dxpSetErrorStatus(record, kNoOutputPortWidth);
        return;
      }
      callSlot(record, methods.outputPortWidthOrDims.width, kNoOutputPortWidth, port,
               simInfo->argCallWord);
      return;
    case DXP_FLAG_START:
      if (methods.start == nullptr) {
        dxpSetErrorStatus(record, kNoStart);
      }
      return;
    case DXP_FLAG_PROCESS_PARAMETERS:
      callSlot(record, methods.processParameters, kNoProcessParameters);
      return;
    case DXP_FLAG_SET_INPUT_PORT_COMPLEX_SIGNAL:
      callSlot(record, methods.inputPortComplexSignal, kNoInputPortComplexSignal, port,
               simInfo->argCallWord);
      return;
    case DXP_FLAG_SET_OUTPUT_PORT_COMPLEX_SIGNAL:
      callSlot(record, methods.outputPortComplexSignal, kNoOutputPortComplexSignal, port,
               simInfo->argCallWord);
      return;
    case DXP_FLAG_SET_INPUT_PORT_SAMPLE_TIME:
      callSlot(record, methods.inputPortSampleTime, kNoInputPortSampleTime, port,
               simInfo->argSampleTime, simInfo->argOffset);
      return;
    case DXP_FLAG_SET_OUTPUT_PORT_SAMPLE_TIME:
      callSlot(record, methods.outputPortSampleTime, kNoOutputPortSampleTime, port,
               simInfo->argSampleTime, simInfo->argOffset);
      return;
    case DXP_FLAG_SET_INPUT_PORT_DIMENSION_INFO:
      // With the bit clear the slot holds a width method, which a dimension record must not
      // reach.
      if (!portSlotsTakeDimensions(record)) {
        dxpSetErrorStatus(record, kNoInputPortDimensionInfo);
        return;
      }
      callSlot(record, methods.inputPortWidthOrDims.dimensionInfo, kNoInputPortDimensionInfo, port,
               simInfo->argDimsInfo);
      return;
    case DXP_FLAG_SET_OUTPUT_PORT_DIMENSION_INFO:
      if (!portSlotsTakeDimensions(record)) {
        dxpSetErrorStatus(record, kNoOutputPortDimensionInfo);
        return;
      }
      callSlot(record, methods.outputPortWidthOrDims.dimensionInfo, kNoOutputPortDimensionInfo,
               port, simInfo->argDimsInfo);
      return;
    case DXP_FLAG_SET_INPUT_PORT_FRAME_DATA:
      callSlot(record, extensionOf(record).inputPortFrameData, kNoInputPortFrameData, port,
               simInfo->argCallWord);
      return;
    case DXP_FLAG_SET_DEFAULT_PORT_DIMENSION_INFO:
      callSlot(record, extensionOf(record).defaultPortDimensionInfo, kNoDefaultPortDimensionInfo);
      return;
    case DXP_FLAG_SET_DEFAULT_PORT_DATA_TYPES:
      callSlot(record, extensionOf(record).defaultPortDataTypes, kNoDefaultPortDataTypes);
      return;
    case DXP_FLAG_SET_DEFAULT_PORT_COMPLEX_SIGNALS:
      callSlot(record, extensionOf(record).defaultPortComplexSignals, kNoDefaultPortComplexSignals);
      return;
  }
  dxpSetErrorStatus(record, kInvalidFlagMessage);
}

void processFlagCall(VqArray* plhs[], int nrhs, const VqArray* prhs[],
                     const DirectMethods& direct) {
  if (plhs == nullptr) {
    return;
  }
  // Slot 2 carries the record itself, not a host array.
  auto* record = reinterpret_cast<DxpBlockRecord*>(plhs[kRecordSlot]);
  if (record == nullptr) {
    return;
  }

  const VqArray* flagArgument =
      nrhs > kFlagArgument && prhs != nullptr ? prhs[kFlagArgument] : nullptr;
  const double* flagData = flagArgument != nullptr ? vqGetPr(flagArgument) : nullptr;
  if (flagData == nullptr) {
    dxpSetErrorStatus(record, kInvalidFlagMessage);
    return;
  }
  dispatchFlag(record, truncateToInt32(flagData[0]), direct);
}

}  // namespace quenvarith::entry
