// mdlCheckParameters and mdlDeclareSizes with any number of parameter arrays of any kind and any
// simMode. Beyond "no crash, no undefined behaviour": the status is always one of the block's
// messages, and a set of parameters that passes is one every later method can work with.
#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>
#include <vector>

#include "block/parameter_codes.h"
#include "block/parameters.h"
#include "block/setup.h"
#include "fuzz/fuzz_support.h"

namespace quenvarith::fuzz {
namespace {

constexpr std::array<std::string_view, 7> kParameterMessages = {
    "Input type parameter is outside of expected range.",
    "Bit to symbol mapping parameter is outside of expected range.",
    "Phase continuity parameter is outside of expected range.",
    "In case of Bit type input M-ary number parameter must be a scalar positive real integer "
    "value which is a non-zero power of two.",
    " M-ary number parameter must be a scalar positive integer value.",
    "Frequency separation parameter must be a scalar positive real value",
    "Samples per symbol parameter must be a scalar positive real integer value"};

bool isParameterMessage(const char* status) {
  return std::ranges::any_of(kParameterMessages,
                             [status](std::string_view message) { return status == message; });
}

// A 1 x 1 real, dense double: the only form a value is read from.
bool isPlainScalar(const VqArray* array) {
  return vqGetNumberOfElements(array) == 1 && vqIsComplex(array) == 0 && vqIsSparse(array) == 0 &&
         vqIsDouble(array) != 0;
}

bool isWholeIn(double value, double low, double high) {
  return std::isfinite(value) && std::floor(value) == value && value >= low && value <= high;
}

// What an accepted set of parameters guarantees to the methods that size ports and buffers
// from it: coded parameters in range, M and N whole and within the 32-bit widths they become,
// M a power of two for bit input, a finite frequency separation. Empty M, separation and N
// are exempt in a sizes-only call.
void checkAccepted(const DxpBlockRecord* record, bool sizesOnly) {
  const auto* const* parameters = record->parameters;
  const auto value = [parameters](Parameter parameter) {
    return vqGetPr(parameters[static_cast<int>(parameter)])[0];
  };
  const auto exemptEmpty = [&](Parameter parameter) {
    return sizesOnly && vqIsEmpty(parameters[static_cast<int>(parameter)]) != 0;
  };
  for (const Parameter coded :
       {Parameter::InputType, Parameter::BitToSymbolMapping, Parameter::PhaseContinuity}) {
    require(isPlainScalar(parameters[static_cast<int>(coded)]), "a coded parameter is a scalar");
    require(isWholeIn(value(coded), 1, 2), "a coded parameter is 1 or 2");
  }
  if (!exemptEmpty(Parameter::MAryNumber)) {
    require(isPlainScalar(parameters[0]), "M is a scalar");
    const double mAry = value(Parameter::MAryNumber);
    require(isWholeIn(mAry, 2, 2147483647.0), "M is a whole number in [2, 2^31 - 1]");
    if (value(Parameter::InputType) == codeOf(InputType::Bit)) {
      int exponent = 0;
      require(std::frexp(mAry, &exponent) == 0.5, "M is a power of two for bit input");
    }
  }
  if (!exemptEmpty(Parameter::FrequencySeparation)) {
    const VqArray* separation = parameters[static_cast<int>(Parameter::FrequencySeparation)];
    require(isPlainScalar(separation), "the frequency separation is a scalar");
    require(std::isfinite(value(Parameter::FrequencySeparation)),
            "the frequency separation is finite");
  }
  if (!exemptEmpty(Parameter::SamplesPerSymbol)) {
    require(isPlainScalar(parameters[static_cast<int>(Parameter::SamplesPerSymbol)]),
            "N is a scalar");
    require(isWholeIn(value(Parameter::SamplesPerSymbol), 1, 2147483647.0),
            "N is a whole number in [1, 2^31 - 1]");
  }
}

}  // namespace
}  // namespace quenvarith::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  using namespace quenvarith;
  FuzzedDataProvider data(bytes, size);
  fuzz::FuzzedHost fuzzedHost;
  host::HostBlock& block = fuzzedHost.block();
  DxpBlockRecord* record = fuzzedHost.record();

  const auto count = data.ConsumeIntegralInRange<uint8_t>(0, 15);
  std::vector<host::ArrayHandle> parameters;
  if (count < 10) {
    parameters = fuzz::consumeParameters(data);
  } else {
    for (int i = 0; i < count - 8; ++i) {
      parameters.push_back(fuzz::consumeArray(data));
    }
  }
  block.setParameterArrays(std::move(parameters));
  const int32_t simMode = data.ConsumeBool() ? data.ConsumeIntegralInRange<int32_t>(0, 2)
                                             : data.ConsumeIntegral<int32_t>();
  block.simInfo().simMode = simMode;
  const bool sizesOnly = simMode == DXP_SIM_MODE_SIZES_ONLY;

  if (record->numParameters >= kParameterCount) {
    mdlCheckParameters(record);
    const char* status = dxpGetErrorStatus(record);
    if (status == nullptr) {
      fuzz::checkAccepted(record, sizesOnly);
    } else {
      fuzz::require(fuzz::isParameterMessage(status), "a rejection stores a parameter message");
    }
    // The check is repeatable and leaves a set status alone.
    mdlCheckParameters(record);
    fuzz::require(dxpGetErrorStatus(record) == status, "a second check gives the same status");
    dxpSetErrorStatus(record, nullptr);
  }

  mdlDeclareSizes(record);
  fuzz::require(record->sizes[DXP_WORD_NUM_PARAMETERS_EXPECTED] == kParameterCount,
                "the expected parameter count is always declared");
  const char* status = dxpGetErrorStatus(record);
  if (record->numParameters != kParameterCount) {
    fuzz::require(status == nullptr && block.inputPortCount() == 0,
                  "a wrong parameter count declares nothing and reports nothing");
  } else if (status != nullptr) {
    fuzz::require(fuzz::isParameterMessage(status), "set-up fails only with a parameter message");
    fuzz::require(block.inputPortCount() == 0, "rejected parameters declare no ports");
  } else {
    fuzz::checkAccepted(record, sizesOnly);
    fuzz::require(block.inputPortCount() == 1 && block.outputPortCount() == 1,
                  "accepted parameters declare one port of each kind");
  }
  return 0;
}
