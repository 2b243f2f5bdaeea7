#include "entry/setup_call.h"

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include "block/conversion.h"
#include "block/dimensions.h"
#include "block/parameters.h"
#include "block/setup.h"
#include "block/tone_generation.h"
#include "entry/local_record.h"
#include "entry/small_methods.h"
#include "entry/texts.h"
#include "host/dxp.h"

namespace quenvarith::entry {

namespace {

constexpr int kMinRightHandCount = 4;
constexpr int kMaxLeftHandCount = 1;
constexpr int kRecordArgument = 1;  // right-hand argument 2
constexpr int kFlagArgument = 3;    // right-hand argument 4
constexpr int kSetupFlag = 0;
constexpr uint32_t kSetupOptionBit = 0x2000u;
// The name comparison takes in the terminating zero.
constexpr size_t kNameCompareLength = sizeof(kModuleName);
// One past the largest address.
constexpr double kAddressLimit = detail::powerOfTwo(std::numeric_limits<uintptr_t>::digits);

// Formats `format` with the banner into the message buffer and raises it.
[[noreturn]] void raiseWithBanner(const char* format) {
  char message[kMessageBufferSize];
  // snprintf cuts what does not fit and always terminates.
  static_cast<void>(std::snprintf(message, sizeof(message), format, kBanner));
  dxpErrMsgTxt(message);
}

// The flag a set-up call carries: a real numeric scalar whose double value is a whole 32-bit
// integer. Data that cannot be read as a double counts as not an integer.
bool readSetupFlag(const VqArray* argument, int32_t& flag) {
  if (argument == nullptr) {
    return false;
  }
  if (vqGetM(argument) != 1 || vqGetN(argument) != 1) {
    return false;
  }
  if (vqIsComplex(argument) != 0 || vqIsNumeric(argument) == 0) {
    return false;
  }
  const double* data = vqGetPr(argument);
  if (data == nullptr || !isExactInt32(data[0])) {
    return false;
  }
  flag = truncateToInt32(data[0]);
  return true;
}

void checkArguments(int nlhs, int nrhs, const VqArray* prhs[]) {
  if (nrhs < kMinRightHandCount || prhs == nullptr) {
    raiseWithBanner(kTooFewRightHandFormat);
  }
  if (nlhs > kMaxLeftHandCount) {
    raiseWithBanner(kTooManyLeftHandFormat);
  }
  int32_t flag = 0;
  if (!readSetupFlag(prhs[kFlagArgument], flag)) {
    raiseWithBanner(kFlagNotIntegerFormat);
  }
  if (flag != kSetupFlag) {
    raiseWithBanner(kInvalidSetupFlagFormat);
  }
}

// Raises the name-mismatch message unless the record was loaded under the module name.
void checkBlockName(const DxpBlockRecord* record) {
  if constexpr (kSkipsNameCheck) {
    return;
  }
  const char* blockName = record->blockName != nullptr ? record->blockName : "";
  if (std::strncmp(blockName, kModuleName, kNameCompareLength) == 0) {
    return;
  }
  char message[kMessageBufferSize];
  // A long blockName is cut to the buffer, never written past it.
  static_cast<void>(
      std::snprintf(message, sizeof(message), kNameMismatchFormat, kModuleName, blockName));
  dxpErrMsgTxt(message);
}

}  // namespace

DxpBlockRecord* recordFromReference(const VqArray* argument) {
  if (argument == nullptr || vqGetM(argument) != 2) {
    return nullptr;
  }
  const double* data = vqGetPr(argument);
  if (data == nullptr) {
    return nullptr;
  }
  if (std::bit_cast<uint64_t>(data[1]) != std::bit_cast<uint64_t>(dxpRecordReferenceMarker)) {
    return nullptr;
  }
  // Only a whole number from 1 up to the address range is an address. 0 in particular is no
  // host record: the call goes on with a local one.
  const double value = data[0];
  if (!(value >= 1.0 && value < kAddressLimit)) {
    return nullptr;
  }
  const auto address = truncateTo<uintptr_t>(value);
  if (static_cast<double>(address) != value) {
    return nullptr;
  }
  // The host hands its record over as an address; this is where it becomes a pointer again.
  return reinterpret_cast<DxpBlockRecord*>(address);  // NOLINT(performance-no-int-to-ptr)
}

void installMethods(DxpBlockRecord* record) {
  DxpMethodTable& methods = record->methods;
  methods.sizes = &mdlDeclareSizes;
  methods.inputPortWidthOrDims.dimensionInfo = &mdlSetInputPortDimensionInfo;
  methods.outputPortWidthOrDims.dimensionInfo = &mdlSetOutputPortDimensionInfo;
  methods.sampleTimes = &mdlDeclareSampleTimes;
  methods.inputPortSampleTime = &mdlSetInputPortSampleTime;
  methods.outputPortSampleTime = &mdlSetOutputPortSampleTime;
  methods.workWidths = &mdlSetWorkWidths;
  methods.initialConditions = &mdlInitializeConditions;
  methods.start = &mdlStart;
  methods.checkParameters = &mdlCheckParameters;
  methods.processParameters = &mdlProcessParameters;
  methods.timeOfNextVarHit = &reportNoVariableHit;
  methods.outputs = &mdlComputeOutputs;
  methods.zeroCrossings = &reportNoZeroCrossings;
  methods.endOfRun = &mdlFinish;
  record->flagWord |= DXP_FLAG_PORT_DIMENSION_INFO;
}

void reportSizes(DxpBlockRecord* record, std::span<double, DXP_SIZES_WORD_COUNT> sizesVector) {
  for (size_t word = 0; word < sizesVector.size(); ++word) {
    sizesVector[word] = static_cast<double>(record->sizes[word]);
  }
  int32_t& optionWord = record->sizes[DXP_WORD_OPTIONS];
  optionWord = std::bit_cast<int32_t>(std::bit_cast<uint32_t>(optionWord) | kSetupOptionBit);

  const auto asUnsigned = [record](size_t word) {
    return static_cast<double>(std::bit_cast<uint32_t>(record->sizes[word]));
  };
  for (size_t word = DXP_WORD_UNSIGNED_FIRST; word <= DXP_WORD_UNSIGNED_LAST; ++word) {
    sizesVector[word] = asUnsigned(word);
  }
  sizesVector[DXP_WORD_OPTIONS] = asUnsigned(DXP_WORD_OPTIONS);
}

void processSetupCall(int nlhs, VqArray* plhs[], int nrhs, const VqArray* prhs[]) {
  checkArguments(nlhs, nrhs, prhs);

  DxpBlockRecord* record = recordFromReference(prhs[kRecordArgument]);
  if (record != nullptr) {
    checkBlockName(record);
    installMethods(record);
  } else {
    record = createLocalRecord(nrhs, prhs);
  }
  record->sizes[DXP_WORD_RECORD_VERSION] = DXP_RECORD_VERSION;

  // Called directly: the host reads the outcome from its record's error status.
  mdlDeclareSizes(record);

  VqArray* sizesArray = vqCreateDoubleMatrix(DXP_SIZES_WORD_COUNT, 1, VQ_REAL);
  plhs[0] = sizesArray;
  reportSizes(record,
              std::span<double, DXP_SIZES_WORD_COUNT>(vqGetPr(sizesArray), DXP_SIZES_WORD_COUNT));
}

}  // namespace quenvarith::entry
