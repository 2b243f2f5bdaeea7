#include "block/setup.h"

#include <array>
#include <limits>

#include "block/messages.h"
#include "block/parameters.h"
#include "block/symbol_mapping.h"
#include "block/work_vectors.h"

namespace quenvarith {

namespace {

constexpr const char* kInputNotDiscreteMessage = "Input signal must be discrete.";
constexpr const char* kOutputNotDiscreteMessage = "Output signal must be discrete.";
constexpr const char* kOffsetMessage = "Non-zero sample time offsets not allowed.";
constexpr const char* kSampleTimePropagationMessage = "Sample time propagation failed.";

constexpr double kInheritedSampleTime = -1.0;
constexpr int32_t kDynamicWidth = -1;

// Input port attribute bits: the frame flag field set to inherited, two bits the block clears
// and one it sets.
constexpr uint32_t kInputFrameInherited = 0x18u;
constexpr uint32_t kInputClearedBits = 0x06u;
constexpr uint32_t kInputSetBit = 0x20u;
// Output port attribute bits: the frame flag field set to inherited and two bits cleared.
constexpr uint32_t kOutputFrameInherited = 0x0cu;
constexpr uint32_t kOutputClearedBits = 0x03u;

constexpr int32_t kOptionWordValue = 2;
constexpr uint32_t kParameterAttributeBit = 0x1u;

struct WorkVectorDeclaration {
  int32_t width;
  DxpDataType dataType;
  DxpComplexity complexity;
};

bool isInputPortIndex(const DxpBlockRecord* record, int32_t port) {
  return record->inputPorts != nullptr && port >= 0 &&
         port < record->sizes[DXP_WORD_NUM_INPUT_PORTS];
}

bool isOutputPortIndex(const DxpBlockRecord* record, int32_t port) {
  return record->outputPorts != nullptr && port >= 0 &&
         port < record->sizes[DXP_WORD_NUM_OUTPUT_PORTS];
}

// The checks both sample-time methods make once the offered values are stored.
bool isAcceptedSampleTime(DxpBlockRecord* record, double sampleTime, double offset,
                          const char* notDiscreteMessage) {
  if (sampleTime == 0.0) {
    dxpSetErrorStatus(record, notDiscreteMessage);
    return false;
  }
  if (!(offset == 0.0)) {  // a NaN offset is refused too
    dxpSetErrorStatus(record, kOffsetMessage);
    return false;
  }
  return true;
}

// Nonzero (frame-based or still inherited) means both ports run at the frame rate.
bool isFrameRate(const DxpBlockRecord* record) {
  return dxpInputFrameFlag(&record->inputPorts[0]) != DXP_FRAME_NO;
}

double samplesPerSymbol(const DxpBlockRecord* record) {
  return static_cast<double>(parameterInteger(record, Parameter::SamplesPerSymbol));
}

}  // namespace

void mdlDeclareSizes(DxpBlockRecord* record) {
  record->sizes[DXP_WORD_NUM_PARAMETERS_EXPECTED] = kParameterCount;
  if (record->numParameters != kParameterCount) {
    return;
  }

  mdlCheckParameters(record);
  if (dxpGetErrorStatus(record) != nullptr) {
    return;
  }

  record->sizes[DXP_WORD_NUM_SAMPLE_TIMES] = DXP_PORT_BASED_SAMPLE_TIMES;

  // A failing host operation has already said why; the block adds no message of its own.
  if (record->setNumInputPorts != nullptr &&
      record->setNumInputPorts(record->setNumInputPortsContext, 1) == 0) {
    return;
  }
  if (record->inputPorts == nullptr) {
    return;  // no port to declare
  }
  if (record->simInfo->setInputPortDimensionInfo != nullptr &&
      record->simInfo->setInputPortDimensionInfo(record, 0, &dxpDynamicDims) == 0) {
    return;
  }
  DxpInputPort& input = record->inputPorts[0];
  input.attributes |= kInputFrameInherited;
  input.directFeedthrough = 1;
  input.complexity = DXP_REAL;
  input.attributes &= ~kInputClearedBits;
  input.attributes |= kInputSetBit;
  input.sampleTime = kInheritedSampleTime;

  if (record->setNumOutputPorts != nullptr &&
      record->setNumOutputPorts(record->setNumOutputPortsContext, 1) == 0) {
    return;
  }
  if (record->outputPorts == nullptr) {
    return;
  }
  if (record->simInfo->setOutputPortDimensionInfo != nullptr &&
      record->simInfo->setOutputPortDimensionInfo(record, 0, &dxpDynamicDims) == 0) {
    return;
  }
  DxpOutputPort& output = record->outputPorts[0];
  output.attributes |= kOutputFrameInherited;
  output.complexity = DXP_COMPLEX;
  output.attributes &= ~kOutputClearedBits;
  output.sampleTime = kInheritedSampleTime;

  // The work vectors are sized later, once the input width is known.
  if (record->setNumWorkVectors == nullptr || record->setNumWorkVectors(record, -1) == 0) {
    return;
  }

  record->sizes[DXP_WORD_OPTIONS] = kOptionWordValue;
  for (uint32_t& attributes : record->parameterAttributes) {
    attributes |= kParameterAttributeBit;
  }
}

void mdlSetInputPortSampleTime(DxpBlockRecord* record, int32_t port, double sampleTime,
                               double offset) {
  if (!isInputPortIndex(record, port) || record->outputPorts == nullptr) {
    dxpSetErrorStatus(record, kSampleTimePropagationMessage);
    return;
  }
  DxpInputPort& input = record->inputPorts[port];
  input.sampleTime = sampleTime;
  input.offset = offset;
  if (!isAcceptedSampleTime(record, sampleTime, offset, kInputNotDiscreteMessage)) {
    return;
  }

  DxpOutputPort& output = record->outputPorts[0];
  output.sampleTime = isFrameRate(record) ? sampleTime : sampleTime / samplesPerSymbol(record);
  output.offset = 0.0;
}

void mdlSetOutputPortSampleTime(DxpBlockRecord* record, int32_t port, double sampleTime,
                                double offset) {
  if (!isOutputPortIndex(record, port) || record->inputPorts == nullptr) {
    dxpSetErrorStatus(record, kSampleTimePropagationMessage);
    return;
  }
  DxpOutputPort& output = record->outputPorts[port];
  output.sampleTime = sampleTime;
  output.offset = offset;
  if (!isAcceptedSampleTime(record, sampleTime, offset, kOutputNotDiscreteMessage)) {
    return;
  }

  DxpInputPort& input = record->inputPorts[0];
  input.sampleTime = isFrameRate(record) ? sampleTime : sampleTime * samplesPerSymbol(record);
  input.offset = 0.0;
}

namespace {

// The complex samples every output step writes: a frame of symbolsPerFrame x N whenever the
// input's frame flag is not 0 (inherited included), else one. The output side settles a port
// by the sample-based rules while the flag is still inherited, so the two sides can agree on
// widths that differ from this; such a port would be written past its end.
int64_t outputWidthOfRun(const DxpBlockRecord* record) {
  if (dxpInputFrameFlag(&record->inputPorts[0]) == DXP_FRAME_NO) {
    return 1;
  }
  const int64_t samplesPerSymbol = parameterInteger(record, Parameter::SamplesPerSymbol);
  return int64_t{deriveSymbolLayout(record).symbolsPerFrame} * samplesPerSymbol;
}

}  // namespace

void mdlDeclareSampleTimes(DxpBlockRecord* record) {
  if (record->inputPorts == nullptr || record->outputPorts == nullptr) {
    dxpSetErrorStatus(record, kSampleTimePropagationMessage);
    return;
  }
  const DxpInputPort& input = record->inputPorts[0];
  const DxpOutputPort& output = record->outputPorts[0];
  // Only exactly -1.0 means "not propagated"; any other value, however close, was set.
  if (input.sampleTime == kInheritedSampleTime || output.sampleTime == kInheritedSampleTime) {
    dxpSetErrorStatus(record, kSampleTimePropagationMessage);
    return;
  }
  if (output.width == kDynamicWidth || input.width == kDynamicWidth) {
    dxpSetErrorStatus(record, kWidthPropagationMessage);
    return;
  }
  if (output.width != outputWidthOfRun(record)) {
    dxpSetErrorStatus(record, kWidthPropagationMessage);
    return;
  }
  record->flagWord = (record->flagWord & ~static_cast<uint32_t>(DXP_FLAG_SAMPLE_TIMES_PENDING)) |
                     static_cast<uint32_t>(DXP_FLAG_SAMPLE_TIMES_SET);
}

void mdlSetWorkWidths(DxpBlockRecord* record) {
  if (record->inputPorts == nullptr) {  // no input port: no width to size anything by
    dxpSetErrorStatus(record, kWidthPropagationMessage);
    return;
  }
  const int32_t mAryNumber = parameterInteger(record, Parameter::MAryNumber);
  const int32_t samplesPerSymbolCount = parameterInteger(record, Parameter::SamplesPerSymbol);
  const SymbolLayout layout = deriveSymbolLayout(record);

  // Propagation keeps the output (symbols x N) within a width, but N is read afresh and may have
  // changed since: a product that no longer fits is refused rather than declared overflowed.
  const int64_t sampleBufferWidth =
      static_cast<int64_t>(layout.symbolsPerFrame) * samplesPerSymbolCount;
  if (sampleBufferWidth > std::numeric_limits<int32_t>::max() ||
      sampleBufferWidth < std::numeric_limits<int32_t>::min()) {
    dxpSetErrorStatus(record, kWidthPropagationMessage);
    return;
  }

  if (record->setNumWorkVectors != nullptr) {
    static_cast<void>(record->setNumWorkVectors(record, kWorkVectorCount));
  }

  const std::array<WorkVectorDeclaration, kWorkVectorCount> declarations{{
      {layout.symbolsPerFrame, DXP_TYPE_INT32, DXP_REAL},                       // symbolIndices
      {static_cast<int32_t>(sampleBufferWidth), DXP_TYPE_DOUBLE, DXP_COMPLEX},  // sampleBuffer
      {1, DXP_TYPE_DOUBLE, DXP_REAL},                                           // phase
      {mAryNumber, DXP_TYPE_DOUBLE, DXP_REAL},                                  // phaseStep
      {mAryNumber, DXP_TYPE_DOUBLE, DXP_REAL},                                  // tonePhase
      {1, DXP_TYPE_INT32, DXP_REAL},                                            // sampleCounter
  }};
  for (size_t index = 0; index < declarations.size(); ++index) {
    DxpWorkVector& vector = record->workVectors[index];
    vector.width = declarations[index].width;
    vector.dataType = declarations[index].dataType;
    vector.complexity = declarations[index].complexity;
  }
}

}  // namespace quenvarith
