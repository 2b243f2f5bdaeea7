#include "block/dimensions.h"

#include <array>
#include <limits>
#include <optional>

#include "block/messages.h"
#include "block/parameter_codes.h"
#include "block/parameters.h"
#include "block/symbol_mapping.h"

namespace quenvarith {

namespace {

constexpr const char* kInputDimsMessage = "Input must be 1-D or 2-D.";
constexpr const char* kOutputDimsMessage = "Outputs must be 1-D or 2-D.";
constexpr const char* kFrameInputShapeMessage =
    "In frame-based mode, inputs must be scalars or column vectors.";
constexpr const char* kFrameOutputShapeMessage =
    "In frame-based mode, outputs must be scalars or column vectors.";
constexpr const char* kFrameBitInputMessage =
    "In frame-based bit input mode, the width of the input vector must be an integer multiple of "
    "the number of bits per symbol.";
constexpr const char* kFrameOutputLengthMessage =
    "The output length must be a multiple of the number of samples per symbol.";
constexpr const char* kSampleIntegerInputMessage =
    "In sample-based integer input mode, the input must be a scalar.";
constexpr const char* kSampleBitInputMessage =
    "In sample-based bit input mode, the input must be a vector whose width equals the number of "
    "bits per symbol.";
constexpr const char* kSampleOutputMessage = "In sample-based mode, the output must be a scalar.";

constexpr int32_t kDynamic = -1;

// A derived length the host can take as a port width: a whole width, or exactly -1 where the
// offer was still dynamic, which the setters pass on as "still dynamic". Anything else negative
// or beyond 32 bits is an overflow of the derivation.
bool fitsWidth(int64_t length) {
  return length == kDynamic || (length >= 0 && length <= std::numeric_limits<int32_t>::max());
}

OtherPort refuse(const char* message) {
  OtherPort refused;
  refused.failure = message;
  return refused;
}

PortShape vectorShape(int32_t width) {
  return {1, width, 1};
}
PortShape matrixShape(int32_t rows, int32_t columns) {
  return {2, rows, columns};
}

// First and second dimension of a port that is already sized. A 1-D port has a second
// dimension of 1; a port the host left without sizes counts as a column of its width.
struct SettledShape {
  int32_t first;
  int32_t second;
};

template <typename Port>
SettledShape settledShape(const Port& port) {
  if (port.dims == nullptr || port.numDims < 1) {
    return {port.width, 1};
  }
  return {port.dims[0], port.numDims >= 2 ? port.dims[1] : 1};
}

SymbolSizes readSymbolSizes(const DxpBlockRecord* record) {
  const bool integerInput =
      parameterInteger(record, Parameter::InputType) == codeOf(InputType::Integer);
  return {integerInput,
          integerInput ? 1 : bitsPerSymbol(parameterInteger(record, Parameter::MAryNumber)),
          parameterInteger(record, Parameter::SamplesPerSymbol)};
}

int32_t offerToHost(DxpSetPortDimsOp operation, DxpBlockRecord* record, int32_t port,
                    const DxpDimsInfo& dimsInfo) {
  return operation != nullptr ? operation(record, port, &dimsInfo) : 1;
}

int32_t offerVector(DxpSetPortDimsOp operation, DxpBlockRecord* record, int32_t port,
                    int32_t width) {
  DxpDimsInfo dimsInfo{width, 1, nullptr, 0};
  dimsInfo.dims = &dimsInfo.width;  // the single size is the width word itself
  return offerToHost(operation, record, port, dimsInfo);
}

int32_t offerMatrix(DxpSetPortDimsOp operation, DxpBlockRecord* record, int32_t port, int32_t rows,
                    int32_t columns) {
  const int64_t elements = static_cast<int64_t>(rows) * columns;
  const bool dynamic = rows == kDynamic || columns == kDynamic;
  if (!dynamic && (elements > std::numeric_limits<int32_t>::max() ||
                   elements < std::numeric_limits<int32_t>::min())) {
    return 0;  // no width holds this matrix
  }
  std::array<int32_t, 2> sizes{rows, columns};
  const DxpDimsInfo dimsInfo{dynamic ? kDynamic : static_cast<int32_t>(elements), 2, sizes.data(),
                             0};
  return offerToHost(operation, record, port, dimsInfo);
}

// Stores the offer in the addressed port through the host's operation `store` and reads it back
// from port 0 of `ports`. Empty when the method ends here: the host refused the offer (and has
// said why), the record lacks a port, the port is not connected, or the offer is neither 1-D
// nor 2-D (`dimsMessage`).
template <typename Port>
std::optional<PortOffer> receiveOffer(DxpBlockRecord* record, int32_t port,
                                      const DxpDimsInfo* dimsInfo, DxpSetPortDimsOp store,
                                      Port* DxpBlockRecord::*ports, const char* dimsMessage) {
  if (store != nullptr && store(record, port, dimsInfo) == 0) {
    return std::nullopt;
  }
  if (record->inputPorts == nullptr || record->outputPorts == nullptr) {
    dxpSetErrorStatus(record, kWidthPropagationMessage);
    return std::nullopt;
  }
  const Port& addressed = (record->*ports)[0];
  if (addressed.connected == 0) {
    return std::nullopt;
  }
  const bool readable = dimsInfo != nullptr && dimsInfo->numDims >= 1 && dimsInfo->dims != nullptr;
  if ((addressed.numDims != 1 && addressed.numDims != 2) || !readable) {
    dxpSetErrorStatus(record, dimsMessage);
    return std::nullopt;
  }
  return PortOffer{addressed.width, addressed.numDims, dimsInfo->dims[0],
                   dimsInfo->numDims >= 2 ? dimsInfo->dims[1] : 1};
}

// Refuses the offer, offers `other` its derived shape while it is dynamic, or compares the
// shape it already has; `offer` is the host's dimension operation for `other`.
template <typename Port>
void settleOrCompare(DxpBlockRecord* record, const OtherPort& derived, const Port& other,
                     DxpSetPortDimsOp offer) {
  if (derived.failure != nullptr) {
    dxpSetErrorStatus(record, derived.failure);
    return;
  }
  const PortShape& shape = derived.shape;
  if (other.width == kDynamic) {
    if (shape.numDims == 1) {
      offerVector(offer, record, 0, shape.rows);
    } else {
      offerMatrix(offer, record, 0, shape.rows, shape.columns);
    }
    return;
  }
  const SettledShape settled = settledShape(other);
  if (derived.secondDimension.has_value() && settled.second != *derived.secondDimension) {
    dxpSetErrorStatus(record, kWidthPropagationMessage);
    return;
  }
  if (derived.firstDimension.has_value() && settled.first != *derived.firstDimension) {
    dxpSetErrorStatus(record, kWidthPropagationMessage);
  }
}

}  // namespace

OtherPort deriveOutputPort(const PortOffer& input, DxpFrameFlag inputFrame,
                           const SymbolSizes& sizes) {
  const int32_t k = sizes.elementsPerSymbol;
  if (k < 1) {  // parameters changed since validation; nothing sensible to derive
    return refuse(kWidthPropagationMessage);
  }
  const auto [width, numDims, rows, cols] = input;

  // The output length, and the output's column count for a sample-based single row.
  int64_t outputLength = 0;
  int64_t outputColumns = 1;
  const bool singleRow = inputFrame == DXP_FRAME_NO && cols != 1;
  if (inputFrame != DXP_FRAME_NO) {    // frame-based, or still inherited
    if (sizes.samplesPerSymbol < 1) {  // parameters changed since validation
      return refuse(kWidthPropagationMessage);
    }
    if (cols != 1) {
      return refuse(kFrameInputShapeMessage);
    }
    if (rows % k != 0) {
      return refuse(kFrameBitInputMessage);
    }
    outputLength = static_cast<int64_t>(rows / k) * sizes.samplesPerSymbol;
  } else if (sizes.integerInput) {
    if (width != 1) {
      return refuse(kSampleIntegerInputMessage);
    }
    outputLength = rows;
    outputColumns = cols;
  } else if (numDims == 1 || cols == 1) {
    if (width != k) {
      return refuse(kSampleBitInputMessage);
    }
    outputLength = rows / k;
  } else {
    if (width != k || rows != 1) {
      return refuse(kSampleBitInputMessage);
    }
    outputLength = 1;
    outputColumns = cols / k;
  }
  if (!fitsWidth(outputLength) || (singleRow && !fitsWidth(outputColumns))) {
    return refuse(kWidthPropagationMessage);
  }
  const auto length = static_cast<int32_t>(outputLength);
  const auto columns = static_cast<int32_t>(outputColumns);

  OtherPort output;
  if (numDims == 1) {
    output.shape = vectorShape(length);
  } else {
    output.shape = singleRow ? matrixShape(1, columns) : matrixShape(length, 1);
  }
  output.firstDimension = length;
  // A single sample-based row is compared by both dimensions.
  if (inputFrame == DXP_FRAME_NO && cols > 1) {
    output.secondDimension = columns;
  }
  return output;
}

OtherPort deriveInputPort(const PortOffer& output, DxpFrameFlag inputFrame,
                          const SymbolSizes& sizes) {
  const int32_t k = sizes.elementsPerSymbol;
  if (k < 1) {
    return refuse(kWidthPropagationMessage);
  }
  const auto [width, numDims, rows, cols] = output;
  const bool frameBased = inputFrame == DXP_FRAME_YES;

  int64_t inputLength = 0;
  if (frameBased) {
    if (sizes.samplesPerSymbol < 1) {  // parameters changed since validation
      return refuse(kWidthPropagationMessage);
    }
    if (cols != 1) {
      return refuse(kFrameOutputShapeMessage);
    }
    if (rows % sizes.samplesPerSymbol != 0) {
      return refuse(kFrameOutputLengthMessage);
    }
    inputLength = static_cast<int64_t>(rows / sizes.samplesPerSymbol) * k;
  } else {
    if (width != 1) {
      return refuse(kSampleOutputMessage);
    }
    inputLength = (sizes.integerInput || numDims == 1) ? static_cast<int64_t>(rows) * k : k;
  }
  // A sample-based 2-D output of bit input makes the input a vector of rows x k.
  const int64_t bitVectorLength = static_cast<int64_t>(rows) * k;
  const bool bitVectorCase = !frameBased && !sizes.integerInput && numDims == 2;
  if (!fitsWidth(inputLength) || (bitVectorCase && !fitsWidth(bitVectorLength))) {
    return refuse(kWidthPropagationMessage);
  }
  const auto length = static_cast<int32_t>(inputLength);

  OtherPort input;
  if (numDims == 1) {
    input.shape = vectorShape(length);
  } else {
    input.shape =
        bitVectorCase ? vectorShape(static_cast<int32_t>(bitVectorLength)) : matrixShape(length, 1);
  }
  // Such an output says nothing about the input's shape: it is not compared.
  if (!bitVectorCase) {
    input.firstDimension = length;
  }
  return input;
}

void mdlSetInputPortDimensionInfo(DxpBlockRecord* record, int32_t port,
                                  const DxpDimsInfo* dimsInfo) {
  const std::optional<PortOffer> offer =
      receiveOffer(record, port, dimsInfo, record->simInfo->setInputPortDimensionInfo,
                   &DxpBlockRecord::inputPorts, kInputDimsMessage);
  if (!offer.has_value()) {
    return;
  }
  const OtherPort output =
      deriveOutputPort(*offer, dxpInputFrameFlag(&record->inputPorts[0]), readSymbolSizes(record));
  settleOrCompare(record, output, record->outputPorts[0],
                  record->simInfo->setOutputPortDimensionInfo);
}

void mdlSetOutputPortDimensionInfo(DxpBlockRecord* record, int32_t port,
                                   const DxpDimsInfo* dimsInfo) {
  const std::optional<PortOffer> offer =
      receiveOffer(record, port, dimsInfo, record->simInfo->setOutputPortDimensionInfo,
                   &DxpBlockRecord::outputPorts, kOutputDimsMessage);
  if (!offer.has_value()) {
    return;
  }
  const OtherPort input =
      deriveInputPort(*offer, dxpInputFrameFlag(&record->inputPorts[0]), readSymbolSizes(record));
  settleOrCompare(record, input, record->inputPorts[0], record->simInfo->setInputPortDimensionInfo);
}

int32_t setInputPortVectorDims(DxpBlockRecord* record, int32_t port, int32_t width) {
  return offerVector(record->simInfo->setInputPortDimensionInfo, record, port, width);
}

int32_t setOutputPortVectorDims(DxpBlockRecord* record, int32_t port, int32_t width) {
  return offerVector(record->simInfo->setOutputPortDimensionInfo, record, port, width);
}

int32_t setInputPortMatrixDims(DxpBlockRecord* record, int32_t port, int32_t rows,
                               int32_t columns) {
  return offerMatrix(record->simInfo->setInputPortDimensionInfo, record, port, rows, columns);
}

int32_t setOutputPortMatrixDims(DxpBlockRecord* record, int32_t port, int32_t rows,
                                int32_t columns) {
  return offerMatrix(record->simInfo->setOutputPortDimensionInfo, record, port, rows, columns);
}

}  // namespace quenvarith
