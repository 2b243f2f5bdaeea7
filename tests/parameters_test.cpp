#include "block/parameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "block/parameter_codes.h"
#include "host/host_block.h"

namespace quenvarith {
namespace {

using host::ArrayHandle;
using host::HostBlock;
using host::ParameterValues;

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::nan("");

constexpr const char* kInputTypeMessage = "Input type parameter is outside of expected range.";
constexpr const char* kMappingMessage =
    "Bit to symbol mapping parameter is outside of expected range.";
constexpr const char* kPhaseMessage = "Phase continuity parameter is outside of expected range.";
constexpr const char* kBitMAryMessage =
    "In case of Bit type input M-ary number parameter must be a scalar positive real integer "
    "value which is a non-zero power of two.";
constexpr const char* kIntegerMAryMessage =
    " M-ary number parameter must be a scalar positive integer value.";
constexpr const char* kSeparationMessage =
    "Frequency separation parameter must be a scalar positive real value";
constexpr const char* kSamplesMessage =
    "Samples per symbol parameter must be a scalar positive real integer value";

// Every kind of array the validation predicates tell apart, holding `value` where it can.
enum class ArrayKind { TwoElements, Complex, Sparse, Single, Int32, Text, Empty };

ArrayHandle makeArray(ArrayKind kind, double value) {
  switch (kind) {
    case ArrayKind::TwoElements: {
      ArrayHandle array(vqCreateDoubleMatrix(1, 2, VQ_REAL));
      vqGetPr(array.get())[0] = value;
      vqGetPr(array.get())[1] = value;
      return array;
    }
    case ArrayKind::Complex: {
      ArrayHandle array(vqCreateDoubleMatrix(1, 1, VQ_COMPLEX));
      vqGetPr(array.get())[0] = value;
      return array;
    }
    case ArrayKind::Sparse:
      return ArrayHandle(vqCreateSparseScalar(1, 1, value));
    case ArrayKind::Single:
      return ArrayHandle(vqCreateNumericMatrix(1, 1, VQ_CLASS_SINGLE, VQ_REAL));
    case ArrayKind::Int32:
      return ArrayHandle(vqCreateNumericMatrix(1, 1, VQ_CLASS_INT32, VQ_REAL));
    case ArrayKind::Text:
      return ArrayHandle(vqCreateString("1"));
    case ArrayKind::Empty:
      return ArrayHandle(vqCreateDoubleMatrix(0, 0, VQ_REAL));
  }
  return {};
}

constexpr ArrayKind kMalformedKinds[] = {ArrayKind::TwoElements, ArrayKind::Complex,
                                         ArrayKind::Sparse,      ArrayKind::Single,
                                         ArrayKind::Int32,       ArrayKind::Text};

// M = 8, bit input, natural binary, 1000 Hz, continuous phase, N = 16: all valid.
ParameterValues validValues() {
  ParameterValues values;
  values.mAryNumber = 8;
  values.inputType = codeOf(InputType::Bit);
  values.bitToSymbolMapping = codeOf(BitToSymbolMapping::Binary);
  values.frequencySeparation = 1000;
  values.phaseContinuity = codeOf(PhaseContinuity::Continuous);
  values.samplesPerSymbol = 16;
  return values;
}

class CheckParameters : public ::testing::Test {
 protected:
  CheckParameters() { host.setParameters(validValues()); }

  void set(Parameter parameter, double value) {
    host.setParameterArray(static_cast<int>(parameter), ArrayHandle(vqCreateDoubleScalar(value)));
  }
  void set(Parameter parameter, ArrayKind kind, double value = 1) {
    host.setParameterArray(static_cast<int>(parameter), makeArray(kind, value));
  }
  void sizesOnly() { host.simInfo().simMode = DXP_SIM_MODE_SIZES_ONLY; }

  // Runs the check on a fresh status and returns what it stored ("" for nothing).
  std::string check() {
    dxpSetErrorStatus(host.record(), nullptr);
    mdlCheckParameters(host.record());
    const char* status = dxpGetErrorStatus(host.record());
    return status != nullptr ? status : "";
  }

  HostBlock host;
};

TEST_F(CheckParameters, AcceptsAValidSetAndNeverClearsTheStatus) {
  EXPECT_EQ(check(), "");

  constexpr const char* kEarlier = "an earlier failure";
  dxpSetErrorStatus(host.record(), kEarlier);
  mdlCheckParameters(host.record());
  EXPECT_EQ(dxpGetErrorStatus(host.record()), kEarlier);
}

// The three coded parameters: each value and kind is refused with that parameter's own message,
// in a sizes-only call too (they have no empty exemption).
TEST_F(CheckParameters, CodedParametersAcceptOnlyOneOrTwo) {
  const struct {
    Parameter parameter;
    const char* message;
  } coded[] = {{Parameter::InputType, kInputTypeMessage},
               {Parameter::BitToSymbolMapping, kMappingMessage},
               {Parameter::PhaseContinuity, kPhaseMessage}};
  for (const auto& [parameter, message] : coded) {
    SCOPED_TRACE(message);
    for (const double good : {1.0, 2.0}) {
      set(parameter, good);
      EXPECT_EQ(check(), "") << good;
    }
    for (const double bad : {0.0, 3.0, 1.5, -1.0, kNaN, kInf, -kInf}) {
      set(parameter, bad);
      EXPECT_EQ(check(), message) << bad;
    }
    for (const ArrayKind kind : kMalformedKinds) {
      set(parameter, kind);
      EXPECT_EQ(check(), message) << static_cast<int>(kind);
    }
    set(parameter, ArrayKind::Empty);
    EXPECT_EQ(check(), message);
    host.simInfo().simMode = DXP_SIM_MODE_SIZES_ONLY;
    EXPECT_EQ(check(), message);
    host.simInfo().simMode = 0;
    set(parameter, 1.0);
  }
}

TEST_F(CheckParameters, ReportsOnlyTheFirstFailingStep) {
  set(Parameter::InputType, 3);
  set(Parameter::MAryNumber, 6);
  EXPECT_EQ(check(), kInputTypeMessage);

  set(Parameter::InputType, codeOf(InputType::Bit));
  set(Parameter::BitToSymbolMapping, 0);
  set(Parameter::PhaseContinuity, 0);
  EXPECT_EQ(check(), kMappingMessage);

  // Phase continuity is checked before M, although M has the lower index.
  set(Parameter::BitToSymbolMapping, codeOf(BitToSymbolMapping::Binary));
  EXPECT_EQ(check(), kPhaseMessage);

  set(Parameter::PhaseContinuity, codeOf(PhaseContinuity::Continuous));
  set(Parameter::FrequencySeparation, kNaN);
  set(Parameter::SamplesPerSymbol, 0);
  EXPECT_EQ(check(), kBitMAryMessage);
  set(Parameter::MAryNumber, 8);
  EXPECT_EQ(check(), kSeparationMessage);
  set(Parameter::FrequencySeparation, 1);
  EXPECT_EQ(check(), kSamplesMessage);
}

TEST_F(CheckParameters, MAryNumberFollowsTheInputTypeRules) {
  const struct {
    double m;
    bool bitPasses;
    bool integerPasses;
  } cases[] = {
      {2, true, true},
      {8, true, true},
      {6, false, true},  // only bit input needs a power of two
      {1000000, false, true},
      {1073741824, true, true},  // 2^30, the largest power of two a width holds
      {2147483647, false, true},
      {1, false, false},
      {0, false, false},
      {-4, false, false},
      {2.5, false, false},
      {kInf, false, false},
      {kNaN, false, false},
      // Beyond a 32-bit width: refused, although 2^32 is a power of two.
      {2147483648.0, false, false},
      {4294967296.0, false, false},
  };
  for (const auto& [m, bitPasses, integerPasses] : cases) {
    set(Parameter::MAryNumber, m);
    set(Parameter::InputType, codeOf(InputType::Bit));
    EXPECT_EQ(check(), bitPasses ? "" : kBitMAryMessage) << "bit input, M = " << m;
    set(Parameter::InputType, codeOf(InputType::Integer));
    EXPECT_EQ(check(), integerPasses ? "" : kIntegerMAryMessage) << "integer input, M = " << m;
  }
}

TEST_F(CheckParameters, MAryNumberOfAnyOtherKindGetsTheInputTypeMessage) {
  for (const ArrayKind kind : kMalformedKinds) {
    set(Parameter::MAryNumber, kind, 4);
    set(Parameter::InputType, codeOf(InputType::Bit));
    EXPECT_EQ(check(), kBitMAryMessage) << static_cast<int>(kind);
    set(Parameter::InputType, codeOf(InputType::Integer));
    EXPECT_EQ(check(), kIntegerMAryMessage) << static_cast<int>(kind);
  }
}

TEST_F(CheckParameters, FrequencySeparationMustBeOneFiniteRealDouble) {
  for (const double accepted : {1000.0, 0.0, -500.0, 1e-300}) {
    set(Parameter::FrequencySeparation, accepted);
    EXPECT_EQ(check(), "") << accepted;
  }
  // Not finite: every sample would be NaN.
  for (const double refused : {kNaN, kInf, -kInf}) {
    set(Parameter::FrequencySeparation, refused);
    EXPECT_EQ(check(), kSeparationMessage) << refused;
  }
  for (const ArrayKind kind : kMalformedKinds) {
    set(Parameter::FrequencySeparation, kind, 1000);
    EXPECT_EQ(check(), kSeparationMessage) << static_cast<int>(kind);
  }
}

TEST_F(CheckParameters, SamplesPerSymbolIsAWholeNumberFromOneToTheWidthLimit) {
  for (const double accepted : {1.0, 1000000.0, 2147483647.0}) {
    set(Parameter::SamplesPerSymbol, accepted);
    EXPECT_EQ(check(), "") << accepted;
  }
  for (const double refused : {0.0, -4.0, 2.5, kNaN, kInf, 2147483648.0}) {
    set(Parameter::SamplesPerSymbol, refused);
    EXPECT_EQ(check(), kSamplesMessage) << refused;
  }
  for (const ArrayKind kind : kMalformedKinds) {
    set(Parameter::SamplesPerSymbol, kind, 16);
    EXPECT_EQ(check(), kSamplesMessage) << static_cast<int>(kind);
  }
}

TEST_F(CheckParameters, EmptyParametersAreExemptOnlyInSizesOnlyCalls) {
  set(Parameter::MAryNumber, ArrayKind::Empty);
  EXPECT_EQ(check(), kBitMAryMessage);
  set(Parameter::InputType, codeOf(InputType::Integer));
  EXPECT_EQ(check(), kIntegerMAryMessage);

  sizesOnly();
  EXPECT_EQ(check(), "");
  // The later steps still run after an exempt M.
  set(Parameter::FrequencySeparation, ArrayKind::Complex);
  EXPECT_EQ(check(), kSeparationMessage);
  set(Parameter::FrequencySeparation, 1000);
  set(Parameter::SamplesPerSymbol, 0);
  EXPECT_EQ(check(), kSamplesMessage);
  set(Parameter::SamplesPerSymbol, 16);

  set(Parameter::FrequencySeparation, ArrayKind::Empty);
  EXPECT_EQ(check(), "");
  set(Parameter::SamplesPerSymbol, ArrayKind::Empty);
  EXPECT_EQ(check(), "");

  // Only the sizes-only mode exempts: every other mode, zero or not, checks the values.
  for (const int32_t mode : {0, DXP_SIM_MODE_SIZES_ONLY + 1, -1}) {
    SCOPED_TRACE(mode);
    host.simInfo().simMode = mode;
    set(Parameter::MAryNumber, ArrayKind::Empty);
    EXPECT_EQ(check(), kIntegerMAryMessage);
    set(Parameter::MAryNumber, 8);
    EXPECT_EQ(check(), kSeparationMessage);
    set(Parameter::FrequencySeparation, 1000);
    EXPECT_EQ(check(), kSamplesMessage);
    set(Parameter::FrequencySeparation, ArrayKind::Empty);
    set(Parameter::SamplesPerSymbol, ArrayKind::Empty);
  }
}

TEST_F(CheckParameters, ReadsTheParametersAfreshAtEveryCall) {
  EXPECT_EQ(check(), "");
  set(Parameter::MAryNumber, 6);
  EXPECT_EQ(check(), kBitMAryMessage);
  // The same array, changed in place.
  vqGetPr(host.record()->parameters[0])[0] = 16;
  EXPECT_EQ(check(), "");
  EXPECT_EQ(parameterInteger(host.record(), Parameter::MAryNumber), 16);
}

// A list shorter than six (a host may run the check directly) is never read past its end: the
// missing parameters count as empty.
TEST_F(CheckParameters, ShortParameterListFailsInsteadOfReadingPastIt) {
  host.setParameterArrays({});
  EXPECT_EQ(check(), kInputTypeMessage);

  std::vector<ArrayHandle> two;
  two.emplace_back(vqCreateDoubleScalar(8));
  two.emplace_back(vqCreateDoubleScalar(1));
  host.setParameterArrays(std::move(two));
  EXPECT_EQ(check(), kMappingMessage);
}

TEST(ParameterValue, ReadsElementZeroAndTruncatesTowardZero) {
  HostBlock host;
  ParameterValues values = validValues();
  values.frequencySeparation = -2.9;
  host.setParameters(values);
  EXPECT_EQ(parameterValue(host.record(), Parameter::FrequencySeparation), -2.9);
  EXPECT_EQ(parameterInteger(host.record(), Parameter::FrequencySeparation), -2);
  EXPECT_EQ(parameterInteger(host.record(), Parameter::SamplesPerSymbol), 16);
}

TEST(ParameterValue, ParameterWithoutDataReadsAsNaN) {
  HostBlock host;
  host.setParameters(validValues());
  host.setParameterArray(0, makeArray(ArrayKind::Empty, 0));
  host.setParameterArray(5, makeArray(ArrayKind::Single, 0));
  EXPECT_TRUE(std::isnan(parameterValue(host.record(), Parameter::MAryNumber)));
  EXPECT_EQ(parameterInteger(host.record(), Parameter::SamplesPerSymbol), 0);
  host.setParameterArrays({});
  EXPECT_EQ(parameterInteger(host.record(), Parameter::InputType), 0);
}

}  // namespace
}  // namespace quenvarith
