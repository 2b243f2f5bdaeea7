#include "block/dimensions.h"

#include <array>
#include <limits>

#include "block/messages.h"
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

// Rows and columns of an offered dimension record; a 1-D record is one column.
struct OfferedShape {
  int32_t rows;
  int32_t cols;
};

// False when the record carries no sizes to read.
bool readOfferedShape(const DxpDimsInfo* offered, OfferedShape& shape) {
  if (offered == nullptr || offered->numDims < 1 || offered->dims == nullptr) {
    return false;
  }
  shape.rows = offered->dims[0];
  shape.cols = offered->numDims >= 2 ? offered->dims[1] : 1;
  return true;
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

// A derived length the host can take as a port width: a whole width, or exactly -1 where the
// offer was still dynamic, which the setters pass on as "still dynamic". Anything else negative
// or beyond 32 bits is an overflow of the derivation.
bool fitsWidth(int64_t length) {
  return length == kDynamic || (length >= 0 && length <= std::numeric_limits<int32_t>::max());
}

bool isIntegerInput(const DxpBlockRecord* record) {
  return parameterInteger(record, Parameter::InputType) == codeOf(InputType::Integer);
}

// Input elements per symbol: bitsPerSymbol for bit input, 1 for integer input.
int32_t elementsPerSymbol(const DxpBlockRecord* record, bool integerInput) {
  return integerInput ? 1 : bitsPerSymbol(parameterInteger(record, Parameter::MAryNumber));
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

}  // namespace

void mdlSetInputPortDimensionInfo(DxpBlockRecord* record, int32_t port,
                                  const DxpDimsInfo* dimsInfo) {
  const DxpSetPortDimsOp store = record->simInfo->setInputPortDimensionInfo;
  if (store != nullptr && store(record, port, dimsInfo) == 0) {
    return;
  }
  if (record->inputPorts == nullptr || record->outputPorts == nullptr) {
    dxpSetErrorStatus(record, kWidthPropagationMessage);
    return;
  }

  const DxpInputPort& input = record->inputPorts[0];
  if (input.connected == 0) {
    return;
  }

  const DxpFrameFlag frame = dxpInputFrameFlag(&input);
  const int32_t width = input.width;
  const int32_t numDims = input.numDims;
  OfferedShape offered{};
  if ((numDims != 1 && numDims != 2) || !readOfferedShape(dimsInfo, offered)) {
    dxpSetErrorStatus(record, kInputDimsMessage);
    return;
  }
  const auto [rows, cols] = offered;

  const bool integerInput = isIntegerInput(record);
  const int32_t k = elementsPerSymbol(record, integerInput);
  if (k < 1) {  // parameters changed since validation; nothing sensible to derive
    dxpSetErrorStatus(record, kWidthPropagationMessage);
    return;
  }

  // Derive the output length, and the output's column count for a sample-based single row.
  int64_t outputLength = 0;
  int64_t outputColumns = 1;
  const bool singleRow = frame == DXP_FRAME_NO && cols != 1;
  if (frame != DXP_FRAME_NO) {  // frame-based, or still inherited
    const int32_t samplesPerSymbol = parameterInteger(record, Parameter::SamplesPerSymbol);
    if (samplesPerSymbol < 1) {  // parameters changed since validation
      dxpSetErrorStatus(record, kWidthPropagationMessage);
      return;
    }
    if (cols != 1) {
      dxpSetErrorStatus(record, kFrameInputShapeMessage);
      return;
    }
    if (rows % k != 0) {
      dxpSetErrorStatus(record, kFrameBitInputMessage);
      return;
    }
    outputLength = static_cast<int64_t>(rows / k) * samplesPerSymbol;
  } else if (integerInput) {
    if (width != 1) {
      dxpSetErrorStatus(record, kSampleIntegerInputMessage);
      return;
    }
    outputLength = rows;
    outputColumns = cols;
  } else if (numDims == 1 || cols == 1) {
    if (width != k) {
      dxpSetErrorStatus(record, kSampleBitInputMessage);
      return;
    }
    outputLength = rows / k;
  } else {
    if (width != k || rows != 1) {
      dxpSetErrorStatus(record, kSampleBitInputMessage);
      return;
    }
    outputLength = 1;
    outputColumns = cols / k;
  }
  if (!fitsWidth(outputLength) || (singleRow && !fitsWidth(outputColumns))) {
    dxpSetErrorStatus(record, kWidthPropagationMessage);
    return;
  }
  const auto length = static_cast<int32_t>(outputLength);
  const auto columns = static_cast<int32_t>(outputColumns);

  const DxpOutputPort& output = record->outputPorts[0];
  if (output.width == kDynamic) {
    if (numDims == 1) {
      setOutputPortVectorDims(record, 0, length);
    } else if (!singleRow) {
      setOutputPortMatrixDims(record, 0, length, 1);
    } else {
      setOutputPortMatrixDims(record, 0, 1, columns);
    }
    return;
  }

  const SettledShape settled = settledShape(output);
  if (frame == DXP_FRAME_NO && cols > 1 && settled.second != columns) {
    dxpSetErrorStatus(record, kWidthPropagationMessage);
    return;
  }
  if (settled.first != length) {
    dxpSetErrorStatus(record, kWidthPropagationMessage);
  }
}

void mdlSetOutputPortDimensionInfo(DxpBlockRecord* record, int32_t port,
                                   const DxpDimsInfo* dimsInfo) {
  const DxpSetPortDimsOp store = record->simInfo->setOutputPortDimensionInfo;
  if (store != nullptr && store(record, port, dimsInfo) == 0) {
    return;
  }
  if (record->inputPorts == nullptr || record->outputPorts == nullptr) {
    dxpSetErrorStatus(record, kWidthPropagationMessage);
    return;
  }

  const DxpOutputPort& output = record->outputPorts[0];
  if (output.connected == 0) {
    return;
  }

  // Only a decided frame-based input counts here; an inherited flag gets the sample-based rules.
  const DxpInputPort& input = record->inputPorts[0];
  const bool frameBased = dxpInputFrameFlag(&input) == DXP_FRAME_YES;
  const int32_t width = output.width;
  const int32_t numDims = output.numDims;
  OfferedShape offered{};
  if ((numDims != 1 && numDims != 2) || !readOfferedShape(dimsInfo, offered)) {
    dxpSetErrorStatus(record, kOutputDimsMessage);
    return;
  }
  const auto [rows, cols] = offered;

  const bool integerInput = isIntegerInput(record);
  const int32_t k = elementsPerSymbol(record, integerInput);
  if (k < 1) {
    dxpSetErrorStatus(record, kWidthPropagationMessage);
    return;
  }

  int64_t inputLength = 0;
  if (frameBased) {
    const int32_t samplesPerSymbol = parameterInteger(record, Parameter::SamplesPerSymbol);
    if (samplesPerSymbol < 1) {  // parameters changed since validation
      dxpSetErrorStatus(record, kWidthPropagationMessage);
      return;
    }
    if (cols != 1) {
      dxpSetErrorStatus(record, kFrameOutputShapeMessage);
      return;
    }
    if (rows % samplesPerSymbol != 0) {
      dxpSetErrorStatus(record, kFrameOutputLengthMessage);
      return;
    }
    inputLength = static_cast<int64_t>(rows / samplesPerSymbol) * k;
  } else {
    if (width != 1) {
      dxpSetErrorStatus(record, kSampleOutputMessage);
      return;
    }
    inputLength = (integerInput || numDims == 1) ? static_cast<int64_t>(rows) * k : k;
  }
  // A sample-based 2-D output of bit input makes the input a vector of rows x k.
  const int64_t bitVectorLength = static_cast<int64_t>(rows) * k;
  const bool bitVectorCase = !frameBased && !integerInput && numDims == 2;
  if (!fitsWidth(inputLength) || (bitVectorCase && !fitsWidth(bitVectorLength))) {
    dxpSetErrorStatus(record, kWidthPropagationMessage);
    return;
  }
  const auto length = static_cast<int32_t>(inputLength);

  if (input.width == kDynamic) {
    if (numDims == 1) {
      setInputPortVectorDims(record, 0, length);
    } else if (!bitVectorCase) {
      setInputPortMatrixDims(record, 0, length, 1);
    } else {
      setInputPortVectorDims(record, 0, static_cast<int32_t>(bitVectorLength));
    }
    return;
  }

  // A sample-based 2-D output of bit input says nothing about the input's shape.
  if (!bitVectorCase && settledShape(input).first != length) {
    dxpSetErrorStatus(record, kWidthPropagationMessage);
  }
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
