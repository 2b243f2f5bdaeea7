#include "block/setup.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "block/dimensions.h"
#include "block/parameter_codes.h"
#include "block/work_vectors.h"
#include "host/host_block.h"

namespace quenvarith {
namespace {

using host::ArrayHandle;
using host::HostBlock;
using host::ParameterValues;

constexpr const char* kSampleTimeFailed = "Sample time propagation failed.";
constexpr const char* kWidthFailed = "Port width propagation failed.";
constexpr const char* kOffsetMessage = "Non-zero sample time offsets not allowed.";

std::string statusOf(HostBlock& host) {
  const char* status = dxpGetErrorStatus(host.record());
  return status != nullptr ? status : "";
}

int32_t failingPortCount(void* /*context*/, int32_t /*count*/) {
  return 0;
}
int32_t failingDims(DxpBlockRecord* /*record*/, int32_t /*port*/, const DxpDimsInfo* /*dims*/) {
  return 0;
}

// Stand-ins for the host's dimension operations that leave every attribute bit of the port
// set, so that what the block then clears becomes visible.
int32_t presetInputAttributes(DxpBlockRecord* record, int32_t /*port*/,
                              const DxpDimsInfo* /*dims*/) {
  record->inputPorts[0].attributes = 0xffffffffu;
  return 1;
}
int32_t presetOutputAttributes(DxpBlockRecord* record, int32_t /*port*/,
                               const DxpDimsInfo* /*dims*/) {
  record->outputPorts[0].attributes = 0xffffffffu;
  return 1;
}
// The opposite start: an input port with no attribute bit set and an offset of its own, which
// the block must leave as it is.
constexpr double kPresetInputOffset = 0.25;
int32_t clearedInputWithOffset(DxpBlockRecord* record, int32_t /*port*/,
                               const DxpDimsInfo* /*dims*/) {
  record->inputPorts[0].attributes = 0u;
  record->inputPorts[0].offset = kPresetInputOffset;
  return 1;
}

class DeclareSizes : public ::testing::Test {
 protected:
  DeclareSizes() { host.setParameters({}); }

  DxpBlockRecord& record() { return *host.record(); }

  HostBlock host;
};

TEST_F(DeclareSizes, DeclaresPortsSampleTimesAndWorkVectorScheme) {
  record().parameterAttributes[2] = 0x40u;
  mdlDeclareSizes(host.record());

  EXPECT_EQ(statusOf(host), "");
  EXPECT_EQ(record().sizes[DXP_WORD_NUM_PARAMETERS_EXPECTED], 6);
  EXPECT_EQ(record().sizes[DXP_WORD_NUM_SAMPLE_TIMES], -1);
  ASSERT_EQ(host.inputPortCount(), 1);
  ASSERT_EQ(host.outputPortCount(), 1);

  // Both ports handed to the host fully dynamic.
  for (const auto* offered : {&host.offeredInputDims(), &host.offeredOutputDims()}) {
    ASSERT_EQ(offered->size(), 1u);
    EXPECT_EQ(offered->front().width, -1);
    EXPECT_EQ(offered->front().numDims, -1);
    EXPECT_EQ(offered->front().dims, nullptr);
  }

  const DxpInputPort& input = host.inputPort();
  EXPECT_EQ(dxpInputFrameFlag(&input), DXP_FRAME_INHERITED);
  EXPECT_EQ(input.directFeedthrough, 1);
  EXPECT_EQ(input.complexity, DXP_REAL);
  EXPECT_EQ(input.dataType, DXP_TYPE_DOUBLE);
  EXPECT_EQ(input.sampleTime, -1.0);
  const DxpOutputPort& output = host.outputPort();
  EXPECT_EQ(dxpOutputFrameFlag(&output), DXP_FRAME_INHERITED);
  EXPECT_EQ(output.complexity, DXP_COMPLEX);
  EXPECT_EQ(output.dataType, DXP_TYPE_DOUBLE);
  EXPECT_EQ(output.sampleTime, -1.0);

  EXPECT_EQ(record().numWorkVectors, -1);
  EXPECT_EQ(record().sizes[DXP_WORD_OPTIONS], 2);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(record().parameterAttributes[i], i == 2 ? 0x41u : 0x1u) << i;
  }
}

TEST_F(DeclareSizes, SetsAndClearsTheStatedAttributeBits) {
  host.simInfo().setInputPortDimensionInfo = &presetInputAttributes;
  host.simInfo().setOutputPortDimensionInfo = &presetOutputAttributes;
  mdlDeclareSizes(host.record());
  EXPECT_EQ(host.inputPort().attributes, ~0x06u);
  EXPECT_EQ(host.outputPort().attributes, ~0x03u);

  // From a port with every bit clear: the inherited flag and bit 0x20 are set, nothing else.
  host.simInfo().setInputPortDimensionInfo = &clearedInputWithOffset;
  mdlDeclareSizes(host.record());
  EXPECT_EQ(host.inputPort().attributes, 0x38u);
  EXPECT_EQ(host.inputPort().offset, kPresetInputOffset);
}

TEST_F(DeclareSizes, AssignsTheOptionWordWhole) {
  record().sizes[DXP_WORD_OPTIONS] = 0x7ff5;
  mdlDeclareSizes(host.record());
  EXPECT_EQ(record().sizes[DXP_WORD_OPTIONS], 2);
}

TEST_F(DeclareSizes, WrongParameterCountDeclaresOnlyTheExpectedCount) {
  std::vector<ArrayHandle> five;
  five.reserve(5);
  for (int i = 0; i < 5; ++i) {
    five.emplace_back(vqCreateDoubleScalar(1));
  }
  host.setParameterArrays(std::move(five));

  mdlDeclareSizes(host.record());
  EXPECT_EQ(record().sizes[DXP_WORD_NUM_PARAMETERS_EXPECTED], 6);
  EXPECT_EQ(statusOf(host), "");
  EXPECT_EQ(host.inputPortCount(), 0);
  EXPECT_EQ(record().sizes[DXP_WORD_NUM_INPUT_PORTS], 0);
}

TEST_F(DeclareSizes, InvalidParameterStopsBeforeTheSampleTimeScheme) {
  host.setParameterArray(5, ArrayHandle(vqCreateDoubleScalar(0)));
  mdlDeclareSizes(host.record());
  EXPECT_EQ(statusOf(host),
            "Samples per symbol parameter must be a scalar positive real integer value");
  EXPECT_EQ(record().sizes[DXP_WORD_NUM_PARAMETERS_EXPECTED], 6);
  EXPECT_EQ(record().sizes[DXP_WORD_NUM_SAMPLE_TIMES], 0);
  EXPECT_EQ(host.inputPortCount(), 0);
}

// Where a host operation fails, the block stops without a message of its own and keeps what it
// declared before.
TEST_F(DeclareSizes, StopsAtTheFailingHostOperation) {
  host.failPortCounts(true);
  mdlDeclareSizes(host.record());
  EXPECT_EQ(statusOf(host), "");
  EXPECT_EQ(record().sizes[DXP_WORD_NUM_SAMPLE_TIMES], -1);
  EXPECT_EQ(host.inputPortCount(), 0);
  EXPECT_EQ(host.offeredInputDims().size(), 0u);
}

TEST_F(DeclareSizes, StopsWhenTheInputDimensionOperationFails) {
  host.failDimensionOperations(true);
  mdlDeclareSizes(host.record());
  EXPECT_EQ(statusOf(host), "");
  ASSERT_EQ(host.inputPortCount(), 1);
  EXPECT_EQ(host.inputPort().directFeedthrough, 0);  // port 0 not declared
  EXPECT_EQ(host.outputPortCount(), 0);
}

TEST_F(DeclareSizes, StopsWhenTheOutputPortCountFails) {
  record().setNumOutputPorts = &failingPortCount;
  mdlDeclareSizes(host.record());
  EXPECT_EQ(statusOf(host), "");
  EXPECT_EQ(host.inputPort().directFeedthrough, 1);
  EXPECT_EQ(host.outputPortCount(), 0);
  EXPECT_EQ(record().numWorkVectors, 0);
}

TEST_F(DeclareSizes, StopsWhenTheOutputDimensionOperationFails) {
  host.simInfo().setOutputPortDimensionInfo = &failingDims;
  mdlDeclareSizes(host.record());
  EXPECT_EQ(statusOf(host), "");
  ASSERT_EQ(host.outputPortCount(), 1);
  EXPECT_EQ(host.outputPort().complexity, DXP_REAL);  // port 0 not declared
  EXPECT_EQ(record().numWorkVectors, 0);
  EXPECT_EQ(record().sizes[DXP_WORD_OPTIONS], 0);
}

TEST_F(DeclareSizes, WorkVectorOperationFailingOrAbsentLeavesOptionsUnset) {
  host.failWorkVectorOperation(true);
  mdlDeclareSizes(host.record());
  EXPECT_EQ(statusOf(host), "");
  EXPECT_EQ(host.outputPort().complexity, DXP_COMPLEX);
  EXPECT_EQ(record().sizes[DXP_WORD_OPTIONS], 0);
  EXPECT_EQ(record().parameterAttributes[0], 0u);

  HostBlock withoutOperation;
  withoutOperation.setParameters({});
  withoutOperation.removeWorkVectorOperation();
  mdlDeclareSizes(withoutOperation.record());
  EXPECT_EQ(withoutOperation.outputPort().complexity, DXP_COMPLEX);
  EXPECT_EQ(withoutOperation.record()->sizes[DXP_WORD_OPTIONS], 0);
  EXPECT_EQ(withoutOperation.record()->parameterAttributes[0], 0u);
}

TEST_F(DeclareSizes, AbsentDimensionOperationsAreSkipped) {
  host.removeDimensionOperations();
  mdlDeclareSizes(host.record());
  EXPECT_EQ(statusOf(host), "");
  EXPECT_EQ(host.outputPort().complexity, DXP_COMPLEX);
  EXPECT_EQ(record().sizes[DXP_WORD_OPTIONS], 2);
}

// Ports created by hand: input 0 and output 0, N = 8.
class PortSampleTime : public ::testing::Test {
 protected:
  PortSampleTime() {
    host.setParameters({});
    host.createPorts(1, 1);
  }

  DxpInputPort& input() { return host.inputPort(); }
  DxpOutputPort& output() { return host.outputPort(); }

  HostBlock host;
};

TEST_F(PortSampleTime, DerivesTheOtherPortByTheFrameFlag) {
  const struct {
    DxpFrameFlag flag;
    double offeredToInput;
    double outputGets;
  } inputCases[] = {
      {DXP_FRAME_NO, 0.1, 0.1 / 8.0},    {DXP_FRAME_YES, 0.5, 0.5},
      {DXP_FRAME_INHERITED, 0.5, 0.5},   {DXP_FRAME_NO, -2.0, -0.25},
      {DXP_FRAME_INHERITED, -2.0, -2.0},
  };
  for (const auto& [flag, offered, expected] : inputCases) {
    host.setInputFrameFlag(flag);
    output().offset = 7.0;
    mdlSetInputPortSampleTime(host.record(), 0, offered, 0.0);
    EXPECT_EQ(statusOf(host), "");
    EXPECT_EQ(input().sampleTime, offered);
    EXPECT_EQ(output().sampleTime, expected) << flag << " " << offered;
    EXPECT_EQ(output().offset, 0.0);
  }

  const struct {
    DxpFrameFlag flag;
    double offeredToOutput;
    double inputGets;
  } outputCases[] = {
      {DXP_FRAME_NO, 0.0125, 0.1},
      {DXP_FRAME_YES, 0.5, 0.5},
      {DXP_FRAME_INHERITED, 0.5, 0.5},
  };
  for (const auto& [flag, offered, expected] : outputCases) {
    host.setInputFrameFlag(flag);
    input().offset = 7.0;
    mdlSetOutputPortSampleTime(host.record(), 0, offered, 0.0);
    EXPECT_EQ(statusOf(host), "");
    EXPECT_EQ(output().sampleTime, offered);
    EXPECT_EQ(input().sampleTime, expected) << flag << " " << offered;
    EXPECT_EQ(input().offset, 0.0);
  }
}

TEST_F(PortSampleTime, ReadsSamplesPerSymbolAtEveryCall) {
  host.setInputFrameFlag(DXP_FRAME_NO);
  mdlSetInputPortSampleTime(host.record(), 0, 1.0, 0.0);
  EXPECT_EQ(output().sampleTime, 0.125);
  host.setParameterArray(5, ArrayHandle(vqCreateDoubleScalar(4)));
  mdlSetInputPortSampleTime(host.record(), 0, 1.0, 0.0);
  EXPECT_EQ(output().sampleTime, 0.25);
}

// A refused offer is still stored in the addressed port; the other port is left alone.
TEST_F(PortSampleTime, RefusedOffersAreStoredAndNotPropagated) {
  const struct {
    bool toInput;
    double sampleTime;
    double offset;
    const char* message;
  } cases[] = {
      {true, 0.0, 0.0, "Input signal must be discrete."},
      {true, 0.0, 0.5, "Input signal must be discrete."},
      {true, 0.1, 0.5, kOffsetMessage},
      {true, 0.1, std::nan(""), kOffsetMessage},
      {false, 0.0, 0.0, "Output signal must be discrete."},
      {false, 0.0, 0.5, "Output signal must be discrete."},
      {false, 0.1, 0.5, kOffsetMessage},
      {false, 0.1, -1e-300, kOffsetMessage},
  };
  for (const auto& [toInput, sampleTime, offset, message] : cases) {
    SCOPED_TRACE(message);
    dxpSetErrorStatus(host.record(), nullptr);
    input() = {};
    output() = {};
    input().sampleTime = output().sampleTime = 3.0;
    input().offset = output().offset = 4.0;
    if (toInput) {
      mdlSetInputPortSampleTime(host.record(), 0, sampleTime, offset);
    } else {
      mdlSetOutputPortSampleTime(host.record(), 0, sampleTime, offset);
    }
    EXPECT_EQ(statusOf(host), message);
    const double storedTime = toInput ? input().sampleTime : output().sampleTime;
    const double storedOffset = toInput ? input().offset : output().offset;
    EXPECT_EQ(storedTime, sampleTime);
    if (std::isnan(offset)) {
      EXPECT_TRUE(std::isnan(storedOffset));
    } else {
      EXPECT_EQ(storedOffset, offset);
    }
    const double otherTime = toInput ? output().sampleTime : input().sampleTime;
    const double otherOffset = toInput ? output().offset : input().offset;
    EXPECT_EQ(otherTime, 3.0);
    EXPECT_EQ(otherOffset, 4.0);
  }
}

TEST_F(PortSampleTime, PortIndexOutsideTheRecordIsRefused) {
  mdlSetInputPortSampleTime(host.record(), 1, 0.5, 0.0);
  EXPECT_EQ(statusOf(host), kSampleTimeFailed);
  EXPECT_EQ(output().sampleTime, -1.0);

  dxpSetErrorStatus(host.record(), nullptr);
  mdlSetOutputPortSampleTime(host.record(), -1, 0.5, 0.0);
  EXPECT_EQ(statusOf(host), kSampleTimeFailed);
  EXPECT_EQ(input().sampleTime, -1.0);
}

class DeclareSampleTimes : public PortSampleTime {
 protected:
  void settle() {
    host.setInputFrameFlag(DXP_FRAME_NO);  // the sample-based ports these times and widths fit
    input().sampleTime = 0.1;
    output().sampleTime = 0.0125;
    input().width = 3;
    output().width = 1;
  }
  std::string declare() {
    dxpSetErrorStatus(host.record(), nullptr);
    mdlDeclareSampleTimes(host.record());
    return statusOf(host);
  }
};

TEST_F(DeclareSampleTimes, ConfirmsSettledPortsInFlagWord) {
  settle();
  host.record()->flagWord = 0x801u | 0x4u;
  EXPECT_EQ(declare(), "");
  EXPECT_EQ(host.record()->flagWord, 0x1005u);
}

TEST_F(DeclareSampleTimes, ReportsTheSampleTimeBeforeTheWidth) {
  host.record()->flagWord = 0x800u;
  EXPECT_EQ(declare(), kSampleTimeFailed);  // both still -1.0 and both widths -1

  settle();
  input().sampleTime = -1.0;
  EXPECT_EQ(declare(), kSampleTimeFailed);
  settle();
  output().sampleTime = -1.0;
  EXPECT_EQ(declare(), kSampleTimeFailed);

  // Only exactly -1.0 counts as not propagated.
  settle();
  input().sampleTime = -1.0000001;
  EXPECT_EQ(declare(), "");

  settle();
  input().width = -1;
  EXPECT_EQ(declare(), kWidthFailed);
  settle();
  output().width = -1;
  EXPECT_EQ(declare(), kWidthFailed);
  EXPECT_EQ(host.record()->flagWord, 0x1000u);  // only the one success changed it
}

// With the input's frame flag still inherited, the output side settles a scalar output by the
// sample-based rules (and the input from it), while the run would take the frame path and write
// symbolsPerFrame x N samples into that one-sample port. Such widths are refused here, before the
// run; the same widths settled sample-based are what the run writes.
TEST(DeclareSampleTimesAfterPropagation, RefusesWidthsTheRunWouldWritePast) {
  const struct {
    DxpFrameFlag frame;
    double inputType;
    const char* status;
  } cases[] = {
      {DXP_FRAME_INHERITED, 1, kWidthFailed},
      {DXP_FRAME_INHERITED, 2, kWidthFailed},
      {DXP_FRAME_NO, 1, ""},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testing::Message()
                 << "frame " << testCase.frame << ", input type " << testCase.inputType);
    HostBlock host;
    const host::ScopeActivation activation(host.allocationScope());
    host.setParameters({.mAryNumber = 4,
                        .inputType = testCase.inputType,
                        .bitToSymbolMapping = codeOf(BitToSymbolMapping::Binary),
                        .frequencySeparation = 1,
                        .phaseContinuity = codeOf(PhaseContinuity::Continuous),
                        .samplesPerSymbol = 8});
    mdlDeclareSizes(host.record());
    ASSERT_EQ(statusOf(host), "");
    ASSERT_EQ(dxpInputFrameFlag(&host.inputPort()), DXP_FRAME_INHERITED);
    host.setInputFrameFlag(testCase.frame);

    int32_t scalar = 1;
    const DxpDimsInfo output{1, 1, &scalar, 0};
    mdlSetOutputPortDimensionInfo(host.record(), 0, &output);
    ASSERT_EQ(statusOf(host), "");
    ASSERT_EQ(host.outputPort().width, 1);
    ASSERT_GE(host.inputPort().width, 1);
    mdlSetInputPortSampleTime(host.record(), 0, 1.0, 0.0);
    ASSERT_EQ(statusOf(host), "");

    mdlDeclareSampleTimes(host.record());
    EXPECT_EQ(statusOf(host), testCase.status);
    EXPECT_EQ((host.record()->flagWord & DXP_FLAG_SAMPLE_TIMES_SET) != 0u,
              std::string(testCase.status).empty());
    if (testCase.frame == DXP_FRAME_NO) {
      EXPECT_EQ(host.inputPort().width, 2);  // one symbol of M 4's two bits
    }
  }
}

class SetWorkWidths : public PortSampleTime {
 protected:
  void configure(double inputType, double m, double n, int32_t inputWidth) {
    ParameterValues values;
    values.inputType = inputType;
    values.mAryNumber = m;
    values.samplesPerSymbol = n;
    host.setParameters(values);
    input().width = inputWidth;
  }
  std::array<int32_t, 6> widths() {
    std::array<int32_t, 6> result{};
    for (size_t i = 0; i < result.size(); ++i) {
      result[i] = host.record()->workVectors[i].width;
    }
    return result;
  }
};

TEST_F(SetWorkWidths, SizesTheSixVectorsFromInputWidthAndParameters) {
  const struct {
    double inputType;
    double m;
    double n;
    int32_t inputWidth;
    std::array<int32_t, 6> widths;
  } cases[] = {
      {1, 8, 16, 12, {4, 64, 1, 8, 8, 1}},  // k = 3, four symbols per frame
      {2, 6, 4, 5, {5, 20, 1, 6, 6, 1}},    // one symbol per integer
      {1, 8, 16, 3, {1, 16, 1, 8, 8, 1}},   // sample-based: one symbol
      {1, 4, 8, 5, {2, 16, 1, 4, 4, 1}},    // a leftover bit makes no symbol
  };
  for (const auto& testCase : cases) {
    configure(testCase.inputType, testCase.m, testCase.n, testCase.inputWidth);
    mdlSetWorkWidths(host.record());
    EXPECT_EQ(widths(), testCase.widths) << testCase.m << " " << testCase.inputWidth;
  }
  EXPECT_EQ(statusOf(host), "");
  EXPECT_EQ(host.record()->numWorkVectors, kWorkVectorCount);

  const std::array<std::pair<int32_t, int32_t>, 6> typeAndComplexity{
      {{DXP_TYPE_INT32, DXP_REAL},
       {DXP_TYPE_DOUBLE, DXP_COMPLEX},
       {DXP_TYPE_DOUBLE, DXP_REAL},
       {DXP_TYPE_DOUBLE, DXP_REAL},
       {DXP_TYPE_DOUBLE, DXP_REAL},
       {DXP_TYPE_INT32, DXP_REAL}}};
  for (size_t i = 0; i < typeAndComplexity.size(); ++i) {
    EXPECT_EQ(host.record()->workVectors[i].dataType, typeAndComplexity[i].first) << i;
    EXPECT_EQ(host.record()->workVectors[i].complexity, typeAndComplexity[i].second) << i;
  }
}

TEST_F(SetWorkWidths, DeclaresEvenWhenTheCountOperationFailsOrIsAbsent) {
  configure(1, 8, 16, 12);
  host.failWorkVectorOperation(true);
  mdlSetWorkWidths(host.record());
  EXPECT_EQ(statusOf(host), "");
  EXPECT_EQ(widths()[1], 64);

  configure(2, 6, 4, 5);
  host.removeWorkVectorOperation();
  mdlSetWorkWidths(host.record());
  EXPECT_EQ(widths()[1], 20);
  EXPECT_EQ(host.record()->numWorkVectors, 0);
}

// N read afresh after propagation can make the sample buffer wider than any width.
TEST_F(SetWorkWidths, RefusesASampleBufferBeyondAWidth) {
  configure(2, 4, 2147483647, 2);
  mdlSetWorkWidths(host.record());
  EXPECT_EQ(statusOf(host), kWidthFailed);
  EXPECT_EQ(widths(), (std::array<int32_t, 6>{}));
  EXPECT_EQ(host.record()->numWorkVectors, 0);

  dxpSetErrorStatus(host.record(), nullptr);
  configure(2, 4, 2147483647, 1);
  mdlSetWorkWidths(host.record());
  EXPECT_EQ(statusOf(host), "");
  EXPECT_EQ(widths()[1], 2147483647);
}

}  // namespace
}  // namespace quenvarith
