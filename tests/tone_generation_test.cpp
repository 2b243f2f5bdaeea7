#include "block/tone_generation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "block/parameter_codes.h"
#include "block/parameters.h"
#include "test_records.h"

namespace quenvarith {
namespace {

constexpr const char* kInvalidOption = "Invalid option.";
constexpr const char* kSizesChanged =
    "The parameters no longer match the work vectors declared for this run.";
constexpr double kSampleTolerance = 1e-6;  // the reference samples carry six decimals
constexpr double kPhaseTolerance = 1e-12;

// Reference samples: phases 0, π/8, π/4, 3π/8 and back (tone +π/8, then tone −π/8 from π/2).
const std::vector<double> kRisingThenFalling{
    1, 0, 0.923880, 0.382683, 0.707107, 0.707107, 0.382683, 0.923880,
    0, 1, 0.382683, 0.923880, 0.707107, 0.707107, 0.923880, 0.382683};

void expectSamplesNear(std::span<const double> actual, const std::vector<double>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_NEAR(actual[i], expected[i], kSampleTolerance) << "double " << i;
  }
}

void expectPhasesNear(std::span<const double> actual, const std::vector<double>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_NEAR(actual[i], expected[i], kPhaseTolerance) << "tone " << i;
  }
}

class ToneGeneration : public ::testing::Test {
 protected:
  void prepare(const testing::RecordLayout& layout) {
    ASSERT_NO_FATAL_FAILURE(testing::prepareRecord(host_, layout));
  }
  DxpBlockRecord* record() { return host_.record(); }
  std::span<double> phaseStep() { return work<double>(WorkVector::PhaseStep); }
  std::span<double> tonePhase() { return work<double>(WorkVector::TonePhase); }
  std::span<double> sampleBuffer() { return work<double>(WorkVector::SampleBuffer); }
  std::span<int32_t> symbolIndices() { return work<int32_t>(WorkVector::SymbolIndices); }
  double& phase() { return work<double>(WorkVector::Phase)[0]; }
  int32_t& sampleCounter() { return work<int32_t>(WorkVector::SampleCounter)[0]; }
  std::span<double> output() { return {host_.outputPort().signal, host_.outputSignal().size()}; }

  void setInput(const std::vector<double>& values) {
    ASSERT_EQ(values.size(), host_.inputSignal().size());
    std::ranges::copy(values, host_.inputSignal().begin());
  }
  void setParameter(Parameter parameter, double value) {
    host_.setParameterArray(static_cast<int>(parameter),
                            host::ArrayHandle(vqCreateDoubleScalar(value)));
  }
  void setHits(bool inputHit, bool outputHit) {
    const std::array<int32_t, 2> hits{inputHit ? 1 : 0, outputHit ? 1 : 0};
    host_.setHits(hits);
  }
  // One frame: the input, one call, the output.
  std::vector<double> computeFrame(const std::vector<double>& input) {
    setInput(input);
    mdlComputeOutputs(record(), 0);
    return {output().begin(), output().end()};
  }

  template <typename T>
  std::span<T> work(WorkVector vector) {
    return testing::workVector<T>(host_, vector);
  }

  host::HostBlock host_;
};

// ---- Initial conditions ----

TEST_F(ToneGeneration, PhaseStepsOfFourTonesAreExact) {
  testing::RecordLayout layout;  // M 4, separation 1, N 8
  layout.frameFlag = DXP_FRAME_NO;
  layout.inputWidth = 2;
  layout.inputSampleTime = 1.0;  // T = 1
  ASSERT_NO_FATAL_FAILURE(prepare(layout));
  std::ranges::fill(tonePhase(), 5.0);
  phase() = 5.0;
  sampleCounter() = 3;
  symbolIndices()[0] = 2;
  sampleBuffer()[0] = 0.5;

  mdlInitializeConditions(record());

  const std::vector<double> expected{-1.1780972450961724, -0.39269908169872414, 0.39269908169872414,
                                     1.1780972450961724};
  EXPECT_EQ(std::vector<double>(phaseStep().begin(), phaseStep().end()), expected);
  EXPECT_EQ(std::vector<double>(tonePhase().begin(), tonePhase().end()),
            std::vector<double>(4, 0.0));
  EXPECT_EQ(phase(), 0.0);
  EXPECT_EQ(sampleCounter(), 0);
  // The indices and the buffer belong to the last input, not to the run's start.
  EXPECT_EQ(symbolIndices()[0], 2);
  EXPECT_EQ(sampleBuffer()[0], 0.5);
  EXPECT_EQ(dxpGetErrorStatus(record()), nullptr);
}

// Dividing by N last, not forming pi / N first: with N 3 the two orders differ in the last bit.
TEST_F(ToneGeneration, PhaseStepDividesByNLast) {
  testing::RecordLayout layout;
  layout.parameters.mAryNumber = 2;
  layout.parameters.frequencySeparation = 75;
  layout.parameters.samplesPerSymbol = 3;
  layout.frameFlag = DXP_FRAME_NO;
  layout.inputSampleTime = 0.001;
  ASSERT_NO_FATAL_FAILURE(prepare(layout));
  mdlInitializeConditions(record());
  EXPECT_EQ(phaseStep()[0], -0.07853981633974483);
  EXPECT_EQ(phaseStep()[1], 0.07853981633974483);
}

// A separation and a symbol period each within range can multiply to a phase step beyond it,
// which would make every sample NaN: the initial conditions refuse such a step.
TEST(InitialConditions, RefusePhaseStepsBeyondTheDoubleRange) {
  const struct {
    double separation;
    double symbolPeriod;
    bool accepted;
  } cases[] = {
      {1.0, 1e308, false},
      {1e308, 1.0, false},
      {-1e300, 1e10, false},
      {1e290, 1.0, false},
      // (2i - M + 1) x T is already infinite: times 0 it is NaN.
      {0.0, 1e308, false},
      {1e280, 1.0, true},
      {1.0, 1e280, true},
      {0.0, 1.0, true},
  };
  for (const auto& [separation, symbolPeriod, accepted] : cases) {
    SCOPED_TRACE(::testing::Message() << separation << " Hz, " << symbolPeriod << " s");
    host::HostBlock host;
    testing::RecordLayout layout;  // M 4, bit input, N 8: one symbol of two bits per frame
    layout.parameters.frequencySeparation = separation;
    layout.inputWidth = 2;
    layout.inputSampleTime = symbolPeriod;
    ASSERT_NO_FATAL_FAILURE(testing::prepareRecord(host, layout));

    mdlInitializeConditions(host.record());

    const char* status = dxpGetErrorStatus(host.record());
    if (accepted) {
      EXPECT_EQ(status, nullptr) << status;
    } else {
      EXPECT_STREQ(status,
                   "The frequency separation and the symbol period give a phase step beyond the "
                   "range of a double.");
    }
  }
}

struct PeriodCase {
  const char* name;
  DxpFrameFlag frameFlag;
  double inputType;
  int32_t inputWidth;
  int32_t symbolsPerFrame;
  double symbolPeriod;
};

void PrintTo(const PeriodCase& period, std::ostream* out) {
  *out << period.name;
}

class SymbolPeriod : public ToneGeneration, public ::testing::WithParamInterface<PeriodCase> {};

// With M 4, separation 1 and N 1 the top tone's step is 3 × T × π.
TEST_P(SymbolPeriod, ScalesTheTopTonesStep) {
  const PeriodCase& period = GetParam();
  testing::RecordLayout layout;
  layout.parameters.inputType = period.inputType;
  layout.parameters.samplesPerSymbol = 1;
  layout.frameFlag = period.frameFlag;
  layout.inputWidth = period.inputWidth;
  layout.symbolsPerFrame = period.symbolsPerFrame;
  layout.inputSampleTime = 0.001;
  ASSERT_NO_FATAL_FAILURE(prepare(layout));

  mdlInitializeConditions(record());

  EXPECT_DOUBLE_EQ(phaseStep()[3], (3.0 * period.symbolPeriod) * kPi);
  EXPECT_DOUBLE_EQ(phaseStep()[0], (-3.0 * period.symbolPeriod) * kPi);
}

INSTANTIATE_TEST_SUITE_P(
    Ts1ms, SymbolPeriod,
    ::testing::Values(PeriodCase{"SampleBased", DXP_FRAME_NO, 1, 2, 1, 0.001},
                      PeriodCase{"FrameBits", DXP_FRAME_YES, 1, 8, 4, 0.00025},
                      PeriodCase{"FrameIntegers", DXP_FRAME_YES, 2, 8, 8, 0.000125},
                      PeriodCase{"InheritedIsFrameBased", DXP_FRAME_INHERITED, 1, 8, 4, 0.00025}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

// ---- The tone advance ----

// N × step = −3π, −π, π, 3π per symbol; each tone loses at most one 2π per symbol and negative
// phases are never raised.
TEST_F(ToneGeneration, ToneAdvanceTakesOffOneTwoPiPerSymbol) {
  testing::RecordLayout layout;  // M 4, separation 1, N 8
  layout.parameters.inputType = codeOf(InputType::Integer);
  layout.inputWidth = 1;  // T = Ts / width = 1
  ASSERT_NO_FATAL_FAILURE(prepare(layout));
  mdlInitializeConditions(record());

  const std::vector<std::vector<double>> afterSymbol{
      {-3 * kPi, -kPi, kPi, kPi},
      {-6 * kPi, -2 * kPi, 0, 2 * kPi},
      {-9 * kPi, -3 * kPi, kPi, 3 * kPi},
  };
  for (const auto& expected : afterSymbol) {
    computeFrame({0});
    expectPhasesNear(tonePhase(), expected);
  }
}

// ---- Frame-based output ----

struct FrameCase {
  const char* name;
  double continuity;
  std::array<std::vector<double>, 2> samples;
  std::array<double, 2> phaseAfter;
  std::array<std::vector<double>, 2> tonePhaseAfter;
};

void PrintTo(const FrameCase& frame, std::ostream* out) {
  *out << frame.name;
}

class FrameBased : public ToneGeneration, public ::testing::WithParamInterface<FrameCase> {};

// M 2, N 4, separation 0.5, integer input [1, 0] with frame period 2 and width 2 (T = 1, steps
// −π/8 and π/8), two identical frames.
TEST_P(FrameBased, SynthesisesTwoFrames) {
  const FrameCase& frame = GetParam();
  testing::RecordLayout layout;
  layout.parameters = {.mAryNumber = 2,
                       .inputType = codeOf(InputType::Integer),
                       .bitToSymbolMapping = codeOf(BitToSymbolMapping::Binary),
                       .frequencySeparation = 0.5,
                       .phaseContinuity = frame.continuity,
                       .samplesPerSymbol = 4};
  layout.inputWidth = 2;
  layout.symbolsPerFrame = 2;
  layout.inputSampleTime = 2.0;
  ASSERT_NO_FATAL_FAILURE(prepare(layout));
  mdlInitializeConditions(record());
  expectPhasesNear(phaseStep(), {-kPi / 8, kPi / 8});

  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    expectSamplesNear(computeFrame({1, 0}), frame.samples[i]);
    EXPECT_NEAR(phase(), frame.phaseAfter[i], kPhaseTolerance);
    expectPhasesNear(tonePhase(), frame.tonePhaseAfter[i]);
  }
  EXPECT_EQ(dxpGetErrorStatus(record()), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Continuity, FrameBased,
    ::testing::Values(
        // Each symbol starts where the last ended, so both frames come out alike.
        FrameCase{"Continuous",
                  1,
                  {kRisingThenFalling, kRisingThenFalling},
                  {0.0, 0.0},
                  {std::vector<double>{-kPi, kPi}, std::vector<double>{-2 * kPi, 0}}},
        // Each symbol takes up its tone's oscillator: tone 0 at −π/2 in the first frame, tone 1
        // at π and tone 0 at −3π/2 in the second.
        FrameCase{"Discontinuous",
                  2,
                  {std::vector<double>{1, 0, 0.923880, 0.382683, 0.707107, 0.707107, 0.382683,
                                       0.923880, 0, -1, -0.382683, -0.923880, -0.707107, -0.707107,
                                       -0.923880, -0.382683},
                   std::vector<double>{-1, 0, -0.923880, -0.382683, -0.707107, -0.707107, -0.382683,
                                       -0.923880, 0, 1, 0.382683, 0.923880, 0.707107, 0.707107,
                                       0.923880, 0.382683}},
                  {-kPi, -2 * kPi},
                  {std::vector<double>{-kPi, kPi}, std::vector<double>{-2 * kPi, 0}}}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

class FrameBasedFixture : public ToneGeneration {
 protected:
  // M 2, N 4, separation 0.5, integer input of width 2, T = 1.
  void prepareTwoSymbolFrames(double continuity = 1) {
    testing::RecordLayout layout;
    layout.parameters = {.mAryNumber = 2,
                         .inputType = codeOf(InputType::Integer),
                         .bitToSymbolMapping = codeOf(BitToSymbolMapping::Binary),
                         .frequencySeparation = 0.5,
                         .phaseContinuity = continuity,
                         .samplesPerSymbol = 4};
    layout.inputWidth = 2;
    layout.symbolsPerFrame = 2;
    layout.inputSampleTime = 2.0;
    ASSERT_NO_FATAL_FAILURE(prepare(layout));
    mdlInitializeConditions(record());
  }
};

TEST_F(FrameBasedFixture, ContinuousFrameStartsWhereTheLastEnded) {
  ASSERT_NO_FATAL_FAILURE(prepareTwoSymbolFrames());
  computeFrame({1, 1});  // eight steps of π/8
  EXPECT_NEAR(phase(), kPi, kPhaseTolerance);
  const std::vector<double> second = computeFrame({1, 1});
  expectSamplesNear(std::span<const double>(second).first(4), {-1, 0, -0.923880, -0.382683});
  EXPECT_NEAR(phase(), 2 * kPi, kPhaseTolerance);  // never reduced
}

TEST_F(FrameBasedFixture, FinishesTheStepAfterAFailedMapping) {
  ASSERT_NO_FATAL_FAILURE(prepareTwoSymbolFrames());
  // Symbol 1 fails and keeps its earlier index 0.
  expectSamplesNear(computeFrame({1, 5}), kRisingThenFalling);
  EXPECT_STREQ(dxpGetErrorStatus(record()), "Input must be an integer in the range of 0 to M-1.");
}

TEST_F(FrameBasedFixture, RunsInMinorTimeStepsToo) {
  ASSERT_NO_FATAL_FAILURE(prepareTwoSymbolFrames());
  host_.setTimeStepKind(0);
  setHits(false, false);
  expectSamplesNear(computeFrame({1, 0}), kRisingThenFalling);
}

TEST_F(FrameBasedFixture, StaleOutOfRangeIndexFallsBackToToneZero) {
  ASSERT_NO_FATAL_FAILURE(prepareTwoSymbolFrames());
  symbolIndices()[0] = 7;  // storage the host did not zero
  symbolIndices()[1] = -1;
  computeFrame({9, 9});  // both fail to map: the stale indices stay
  const std::vector<double> falling{
      1, 0,  0.923880,  -0.382683, 0.707107,  -0.707107, 0.382683,  -0.923880,
      0, -1, -0.382683, -0.923880, -0.707107, -0.707107, -0.923880, -0.382683};
  expectSamplesNear(output(), falling);
  EXPECT_NEAR(phase(), -kPi, kPhaseTolerance);
}

// Parameters are read at every call, so a host that changes one mid-run without sizing the block
// again must get an error, not a step that writes past the storage sized for the old values.
TEST_F(FrameBasedFixture, ParametersChangedMidRunAreRefusedBeforeAnythingIsWritten) {
  struct Change {
    int parameter;
    double value;
  };
  for (const Change change : {Change{5, 8.0}, Change{0, 3.0}, Change{1, 1.0}}) {
    SCOPED_TRACE(change.parameter);
    host::HostBlock host;
    testing::RecordLayout layout;
    layout.parameters = {
        .mAryNumber = 2, .inputType = codeOf(InputType::Integer), .samplesPerSymbol = 4};
    layout.inputWidth = 2;
    layout.symbolsPerFrame = 2;
    ASSERT_NO_FATAL_FAILURE(testing::prepareRecord(host, layout));
    mdlInitializeConditions(host.record());
    // N 8 doubles the buffer, M 3 outgrows the per-tone vectors; bit input with M 2 keeps
    // everything in bounds (one symbol per bit), so that change runs.
    host.setParameterArray(change.parameter, host::ArrayHandle(vqCreateDoubleScalar(change.value)));
    host.inputSignal()[0] = 1;
    host.inputSignal()[1] = 0;
    mdlComputeOutputs(host.record(), 0);
    if (change.parameter == 1) {
      EXPECT_EQ(dxpGetErrorStatus(host.record()), nullptr);
      continue;
    }
    EXPECT_STREQ(dxpGetErrorStatus(host.record()), kSizesChanged);
    for (const double value : host.outputSignal()) EXPECT_EQ(value, 0.0);
  }
}

TEST_F(FrameBasedFixture, InvalidOptionLeavesPhasesAndOutputUntouched) {
  ASSERT_NO_FATAL_FAILURE(prepareTwoSymbolFrames());
  computeFrame({1, 1});
  const std::vector<double> outputBefore(output().begin(), output().end());
  const std::vector<double> bufferBefore(sampleBuffer().begin(), sampleBuffer().end());
  const std::vector<double> tonesBefore(tonePhase().begin(), tonePhase().end());
  const double phaseBefore = phase();
  ASSERT_NE(phaseBefore, 0.0);

  setParameter(Parameter::PhaseContinuity, 3);
  computeFrame({0, 1});

  EXPECT_STREQ(dxpGetErrorStatus(record()), kInvalidOption);
  EXPECT_EQ(std::vector<int32_t>(symbolIndices().begin(), symbolIndices().end()),
            (std::vector<int32_t>{0, 1}));  // the input was mapped first
  EXPECT_EQ(std::vector<double>(output().begin(), output().end()), outputBefore);
  EXPECT_EQ(std::vector<double>(sampleBuffer().begin(), sampleBuffer().end()), bufferBefore);
  EXPECT_EQ(std::vector<double>(tonePhase().begin(), tonePhase().end()), tonesBefore);
  EXPECT_EQ(phase(), phaseBefore);
}

// Bit input of width 1 with M 4 carries no symbol.
TEST_F(ToneGeneration, EmptyFrameProducesNothingAndKeepsThePhase) {
  testing::RecordLayout layout;
  layout.inputWidth = 1;
  layout.symbolsPerFrame = 0;
  ASSERT_NO_FATAL_FAILURE(prepare(layout));
  mdlInitializeConditions(record());
  phase() = 1.25;
  std::ranges::fill(tonePhase(), 0.5);

  for (const double continuity : {1.0, 2.0}) {
    setParameter(Parameter::PhaseContinuity, continuity);
    mdlComputeOutputs(record(), 0);
    EXPECT_EQ(phase(), 1.25);
    EXPECT_EQ(std::vector<double>(tonePhase().begin(), tonePhase().end()),
              std::vector<double>(4, 0.5));
    EXPECT_EQ(dxpGetErrorStatus(record()), nullptr);
  }
  // A bad continuity is still reported.
  setParameter(Parameter::PhaseContinuity, 3);
  mdlComputeOutputs(record(), 0);
  EXPECT_STREQ(dxpGetErrorStatus(record()), kInvalidOption);
}

// A host may hand a null pointer for a vector declared 0 wide: an empty frame needs nothing from
// it, so nothing is read or written through it and nothing is reported.
TEST_F(ToneGeneration, EmptyFrameRunsOnNullZeroWidthVectors) {
  testing::RecordLayout layout;
  layout.inputWidth = 0;
  layout.symbolsPerFrame = 0;
  ASSERT_NO_FATAL_FAILURE(prepare(layout));
  for (const WorkVector vector : {WorkVector::SymbolIndices, WorkVector::SampleBuffer}) {
    record()->workVectors[static_cast<int32_t>(vector)].data = nullptr;
  }
  record()->inputPorts[0].signal = nullptr;
  record()->outputPorts[0].signal = nullptr;

  mdlInitializeConditions(record());
  EXPECT_EQ(dxpGetErrorStatus(record()), nullptr);
  phase() = 1.25;
  mdlComputeOutputs(record(), 0);
  EXPECT_EQ(dxpGetErrorStatus(record()), nullptr);
  EXPECT_EQ(phase(), 1.25);

  // The same null vector declared wider than nothing still does not fit a frame of symbols.
  record()->workVectors[static_cast<int32_t>(WorkVector::SymbolIndices)].width = 4;
  record()->inputPorts[0].width = 8;
  mdlComputeOutputs(record(), 0);
  EXPECT_STREQ(dxpGetErrorStatus(record()), kSizesChanged);
}

// ---- Sample-based output ----

class SampleBased : public ToneGeneration {
 protected:
  // M 2 bit input, N 4, separation 0.5, Ts 1: steps −π/8 and π/8; the output has four steps
  // for every input step.
  void prepareWalk(double continuity = 1) {
    testing::RecordLayout layout;
    layout.parameters = {.mAryNumber = 2,
                         .inputType = codeOf(InputType::Bit),
                         .bitToSymbolMapping = codeOf(BitToSymbolMapping::Binary),
                         .frequencySeparation = 0.5,
                         .phaseContinuity = continuity,
                         .samplesPerSymbol = 4};
    layout.inputWidth = 1;
    layout.symbolsPerFrame = 1;
    layout.frameFlag = DXP_FRAME_NO;
    layout.inputSampleTime = 1.0;
    ASSERT_NO_FATAL_FAILURE(prepare(layout));
    mdlInitializeConditions(record());
  }
  // One output step; the input has a hit every fourth.
  void step(int index, double input) {
    setInput({input});
    setHits(index % 4 == 0, true);
    mdlComputeOutputs(record(), 0);
  }
  std::vector<double> state() {
    std::vector<double> all(sampleBuffer().begin(), sampleBuffer().end());
    all.insert(all.end(), tonePhase().begin(), tonePhase().end());
    all.push_back(phase());
    all.push_back(symbolIndices()[0]);
    return all;
  }
};

TEST_F(SampleBased, WalksThroughTheBufferAtTheOutputRate) {
  ASSERT_NO_FATAL_FAILURE(prepareWalk());
  const std::array<int32_t, 8> counterAfter{1, 2, 3, 0, 1, 2, 3, 0};
  for (int index = 0; index < 8; ++index) {
    SCOPED_TRACE("step " + std::to_string(index));
    step(index, index < 4 ? 1 : 0);
    const size_t sample = 2 * static_cast<size_t>(index);
    expectSamplesNear(output(), {kRisingThenFalling[sample], kRisingThenFalling[sample + 1]});
    EXPECT_EQ(sampleCounter(), counterAfter[static_cast<size_t>(index)]);
  }
  EXPECT_NEAR(phase(), 0.0, kPhaseTolerance);
  EXPECT_EQ(dxpGetErrorStatus(record()), nullptr);
}

TEST_F(SampleBased, OutputHitWithoutInputHitOnlyAdvancesTheCounter) {
  ASSERT_NO_FATAL_FAILURE(prepareWalk());
  step(0, 1);
  const std::vector<double> before = state();

  setInput({0});
  setHits(false, true);
  mdlComputeOutputs(record(), 0);

  expectSamplesNear(output(), {0.923880, 0.382683});
  EXPECT_EQ(sampleCounter(), 2);
  EXPECT_EQ(state(), before);
}

TEST_F(SampleBased, MinorTimeStepChangesNothing) {
  ASSERT_NO_FATAL_FAILURE(prepareWalk());
  step(0, 1);
  const std::vector<double> before = state();
  const std::vector<double> outputBefore(output().begin(), output().end());

  host_.setTimeStepKind(0);
  setInput({0});
  setHits(true, true);
  mdlComputeOutputs(record(), 0);

  EXPECT_EQ(state(), before);
  EXPECT_EQ(std::vector<double>(output().begin(), output().end()), outputBefore);
  EXPECT_EQ(sampleCounter(), 1);
}

TEST_F(SampleBased, InvalidOptionOnAnInputHitEndsTheWholeCall) {
  ASSERT_NO_FATAL_FAILURE(prepareWalk());
  step(0, 1);
  const std::vector<double> before = state();
  const std::vector<double> outputBefore(output().begin(), output().end());

  setParameter(Parameter::PhaseContinuity, 0);
  step(4, 0);

  EXPECT_STREQ(dxpGetErrorStatus(record()), kInvalidOption);
  EXPECT_EQ(sampleCounter(), 1);
  EXPECT_EQ(std::vector<double>(output().begin(), output().end()), outputBefore);
  std::vector<double> expected = before;
  expected.back() = 0;  // symbolIndices: the new input was mapped before the option was read
  EXPECT_EQ(state(), expected);
}

TEST_F(SampleBased, ContinuityIsReadOnlyOnInputHits) {
  ASSERT_NO_FATAL_FAILURE(prepareWalk());
  step(0, 1);
  setParameter(Parameter::PhaseContinuity, 3);
  step(1, 1);
  EXPECT_EQ(dxpGetErrorStatus(record()), nullptr);
  expectSamplesNear(output(), {0.923880, 0.382683});
}

TEST_F(SampleBased, DiscontinuousSymbolTakesUpItsTonesPhase) {
  ASSERT_NO_FATAL_FAILURE(prepareWalk(2));
  for (int index = 0; index < 5; ++index) {
    step(index, index < 4 ? 1 : 0);
  }
  // Tone 0 has run for one symbol: −π/2.
  expectSamplesNear(output(), {0, -1});
  EXPECT_NEAR(phase(), -kPi, kPhaseTolerance);
}

// A step reads the parameters afresh; one changed since the work vectors were sized must not let
// it reach past them. An output step touches only the buffer, the counter and the port, so it
// is refused only where those no longer fit; an input hit needs the per-tone vectors as well.
TEST_F(SampleBased, ParametersChangedMidRunAreRefusedWhereTheyWouldReachPastTheStorage) {
  ASSERT_NO_FATAL_FAILURE(prepareWalk());
  step(0, 1);
  const std::vector<double> before = state();
  const std::vector<double> outputBefore(output().begin(), output().end());

  setParameter(Parameter::SamplesPerSymbol, 8);  // a buffer of 8 where 4 are declared
  step(1, 1);
  EXPECT_STREQ(dxpGetErrorStatus(record()), kSizesChanged);
  EXPECT_EQ(sampleCounter(), 1);
  EXPECT_EQ(std::vector<double>(output().begin(), output().end()), outputBefore);

  dxpSetErrorStatus(record(), nullptr);
  setParameter(Parameter::SamplesPerSymbol, 4);
  setParameter(Parameter::MAryNumber, 3);  // three tones where two are declared
  step(1, 1);                              // an output step: the buffer still fits
  EXPECT_EQ(dxpGetErrorStatus(record()), nullptr);
  expectSamplesNear(output(), {0.923880, 0.382683});
  step(4, 0);  // an input hit: refused before anything is mapped or written
  EXPECT_STREQ(dxpGetErrorStatus(record()), kSizesChanged);
  EXPECT_EQ(state(), before);
  EXPECT_EQ(sampleCounter(), 2);
}

TEST_F(SampleBased, CounterOutOfRangeRestartsAtTheBufferStart) {
  ASSERT_NO_FATAL_FAILURE(prepareWalk());
  step(0, 1);
  for (const int32_t corrupted : {4, 1000, -1}) {
    sampleCounter() = corrupted;
    setHits(false, true);
    mdlComputeOutputs(record(), 0);
    expectSamplesNear(output(), {1, 0});
    EXPECT_EQ(sampleCounter(), 1) << "from " << corrupted;
  }
}

TEST_F(SampleBased, SeparateInputAndOutputTasks) {
  ASSERT_NO_FATAL_FAILURE(prepareWalk());
  // An input hit alone synthesises but delivers nothing.
  setInput({1});
  setHits(true, false);
  std::ranges::fill(output(), 9.0);
  mdlComputeOutputs(record(), 0);
  EXPECT_EQ(std::vector<double>(output().begin(), output().end()), (std::vector<double>{9, 9}));
  EXPECT_EQ(sampleCounter(), 0);
  EXPECT_NEAR(phase(), kPi / 2, kPhaseTolerance);
}

}  // namespace
}  // namespace quenvarith
