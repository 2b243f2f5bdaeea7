#include "block/parameters.h"

#include <cmath>
#include <limits>

#include "block/conversion.h"
#include "host/vq.h"

namespace quenvarith {

namespace {

constexpr const char* kInputTypeMessage = "Input type parameter is outside of expected range.";
constexpr const char* kMappingMessage =
    "Bit to symbol mapping parameter is outside of expected range.";
constexpr const char* kPhaseContinuityMessage =
    "Phase continuity parameter is outside of expected range.";
constexpr const char* kBitInputMAryMessage =
    "In case of Bit type input M-ary number parameter must be a scalar positive real integer "
    "value which is a non-zero power of two.";
constexpr const char* kIntegerInputMAryMessage =
    " M-ary number parameter must be a scalar positive integer value.";
constexpr const char* kFrequencySeparationMessage =
    "Frequency separation parameter must be a scalar positive real value";
constexpr const char* kSamplesPerSymbolMessage =
    "Samples per symbol parameter must be a scalar positive real integer value";

// M and N become widths and counts, so they must fit a 32-bit signed integer.
constexpr double kLargestCount = std::numeric_limits<int32_t>::max();

bool isEmpty(const VqArray* array) {
  return array == nullptr || vqIsEmpty(array) != 0;
}

// One real, dense double element: only then is element 0 a value worth reading.
bool isRealDoubleScalar(const VqArray* array) {
  return array != nullptr && vqGetNumberOfElements(array) == 1 && vqIsComplex(array) == 0 &&
         vqIsSparse(array) == 0 && vqIsDouble(array) != 0;
}

bool isWholeNumberIn(const VqArray* array, double lower, double upper) {
  if (!isRealDoubleScalar(array)) {
    return false;
  }
  const double value = vqGetPr(array)[0];
  if (vqIsInf(value) != 0 || vqIsNaN(value) != 0) {
    return false;
  }
  return std::floor(value) == value && value >= lower && value <= upper;
}

bool isPowerOfTwo(int32_t value) {
  int exponent = 0;
  return std::frexp(static_cast<double>(value), &exponent) == 0.5;
}

bool isSizesOnlyCall(const DxpBlockRecord* record) {
  return record->simInfo != nullptr && record->simInfo->simMode == DXP_SIM_MODE_SIZES_ONLY;
}

// M, by the rules of the input type, which has already been accepted: a power of two of at
// least 2 for bit input, a whole number of at least 2 for integer input.
const char* checkMAryNumber(const DxpBlockRecord* record, const VqArray* mAryNumber) {
  const auto inputType = static_cast<InputType>(parameterInteger(record, Parameter::InputType));
  if (inputType == InputType::Bit) {
    if (!isWholeNumberIn(mAryNumber, 2.0, kLargestCount) ||
        !isPowerOfTwo(parameterInteger(record, Parameter::MAryNumber))) {
      return kBitInputMAryMessage;
    }
    return nullptr;
  }
  if (!isWholeNumberIn(mAryNumber, 2.0, kLargestCount)) {
    return kIntegerInputMAryMessage;
  }
  return nullptr;
}

// The separation: a real double scalar with a finite value (a NaN or an infinity would turn
// every output sample into NaN). Zero and negative separations are accepted.
bool isValidFrequencySeparation(const VqArray* separation) {
  if (isEmpty(separation) || vqIsComplex(separation) != 0 || vqIsSparse(separation) != 0 ||
      vqIsDouble(separation) == 0 || vqGetNumberOfElements(separation) != 1) {
    return false;
  }
  const double value = vqGetPr(separation)[0];
  return vqIsInf(value) == 0 && vqIsNaN(value) == 0;
}

// The message of the first check that fails, in the order input type, mapping, phase
// continuity, M, separation, N; null when all six parameters pass.
const char* firstParameterFailure(const DxpBlockRecord* record) {
  if (!isWholeNumberIn(parameterArray(record, Parameter::InputType), 1.0, 2.0)) {
    return kInputTypeMessage;
  }
  if (!isWholeNumberIn(parameterArray(record, Parameter::BitToSymbolMapping), 1.0, 2.0)) {
    return kMappingMessage;
  }
  if (!isWholeNumberIn(parameterArray(record, Parameter::PhaseContinuity), 1.0, 2.0)) {
    return kPhaseContinuityMessage;
  }

  // Outside a running simulation the sizes do not depend on M, the separation or N, so these
  // may still be empty there.
  const bool sizesOnly = isSizesOnlyCall(record);

  const VqArray* mAryNumber = parameterArray(record, Parameter::MAryNumber);
  if (!(sizesOnly && isEmpty(mAryNumber))) {
    if (const char* failure = checkMAryNumber(record, mAryNumber)) {
      return failure;
    }
  }

  const VqArray* separation = parameterArray(record, Parameter::FrequencySeparation);
  if (!(sizesOnly && isEmpty(separation)) && !isValidFrequencySeparation(separation)) {
    return kFrequencySeparationMessage;
  }

  const VqArray* samplesPerSymbol = parameterArray(record, Parameter::SamplesPerSymbol);
  if (sizesOnly && isEmpty(samplesPerSymbol)) {
    return nullptr;
  }
  if (!isWholeNumberIn(samplesPerSymbol, 1.0, kLargestCount)) {
    return kSamplesPerSymbolMessage;
  }
  return nullptr;
}

}  // namespace

void mdlCheckParameters(DxpBlockRecord* record) {
  if (const char* failure = firstParameterFailure(record)) {
    dxpSetErrorStatus(record, failure);
  }
}

}  // namespace quenvarith
