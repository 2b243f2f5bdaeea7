// Faults that the fuzzers and the hardening tests found, each kept here so that it stays fixed.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "block/dimensions.h"
#include "block/setup.h"
#include "engine/input_sources.h"
#include "engine/plugin_library.h"
#include "engine/simulation.h"
#include "host/host_block.h"

namespace quenvarith::testing {
namespace {

// A number beyond the double range that shows no exponent was read as an infinity whatever
// its size: 0.000...1 (400 zeros) became +inf instead of 0.
TEST(HardeningRegression, OutOfRangeNumbersRoundByTheirDigits) {
  const std::string zeros(400, '0');
  double value = -1.0;
  ASSERT_TRUE(engine::parseNumber("0." + zeros + "1", value));
  EXPECT_EQ(value, 0.0);
  EXPECT_FALSE(std::signbit(value));
  ASSERT_TRUE(engine::parseNumber("-0." + zeros + "1", value));
  EXPECT_EQ(value, 0.0);
  EXPECT_TRUE(std::signbit(value));
  ASSERT_TRUE(engine::parseNumber("1" + zeros, value));
  EXPECT_EQ(value, HUGE_VAL);
  ASSERT_TRUE(engine::parseNumber("-1" + zeros + ".5", value));
  EXPECT_EQ(value, -HUGE_VAL);
  ASSERT_TRUE(engine::parseNumber("+1e400", value));
  EXPECT_EQ(value, HUGE_VAL);
  ASSERT_TRUE(engine::parseNumber("1e-400", value));
  EXPECT_EQ(value, 0.0);
  // Below the normal range but not below the subnormals: the nearest subnormal, not 0.
  ASSERT_TRUE(engine::parseNumber("1e-320", value));
  EXPECT_EQ(value, 1e-320);
  ASSERT_TRUE(
      engine::parseNumber("0.0000000000000000000000000000000000000000000000000000000000000"
                          "0000000000000000000000000000000000000000000000000000000000000000"
                          "0000000000000000000000000000000000000000000000000000000000000000"
                          "0000000000000000000000000000000000000000000000000000000000000000"
                          "000000000000000000000000000000000000000000000000000000000001",
                          value));
  EXPECT_GT(value, 0.0);
  EXPECT_LT(value, 1e-300);
}

// Found by the flag-call fuzzer. With the input's frame flag still inherited, the output side
// settles a scalar output by the sample-based rules (and the input from it), while the run
// takes the frame path and writes symbolsPerFrame x N samples into that one-sample port: a
// heap overflow. The widths the two sides agreed on are refused before the run instead.
TEST(HardeningRegression, WidthsTheRunWouldOverflowAreRefused) {
  for (const double inputType : {1.0, 2.0}) {
    SCOPED_TRACE(inputType);
    host::HostBlock block;
    const host::ScopeActivation activation(block.allocationScope());
    DxpBlockRecord* record = block.record();
    block.setParameters({4, inputType, 1, 1, 1, 8});
    mdlDeclareSizes(record);
    ASSERT_EQ(dxpGetErrorStatus(record), nullptr);
    ASSERT_EQ(dxpInputFrameFlag(&block.inputPort()), DXP_FRAME_INHERITED);

    int32_t scalar = 1;
    const DxpDimsInfo output{1, 1, &scalar, 0};
    mdlSetOutputPortDimensionInfo(record, 0, &output);
    ASSERT_EQ(dxpGetErrorStatus(record), nullptr);
    ASSERT_EQ(block.outputPort().width, 1);
    ASSERT_GE(block.inputPort().width, 1);
    mdlSetInputPortSampleTime(record, 0, 1.0, 0.0);
    ASSERT_EQ(dxpGetErrorStatus(record), nullptr);

    mdlDeclareSampleTimes(record);
    ASSERT_NE(dxpGetErrorStatus(record), nullptr);
    EXPECT_STREQ(dxpGetErrorStatus(record), "Port width propagation failed.");
    EXPECT_EQ(record->flagWord & DXP_FLAG_SAMPLE_TIMES_SET, 0u);
  }
}

// The same widths once the flag is settled sample-based are what the run writes: accepted.
TEST(HardeningRegression, WidthsSettledSampleBasedAreAccepted) {
  host::HostBlock block;
  const host::ScopeActivation activation(block.allocationScope());
  DxpBlockRecord* record = block.record();
  block.setParameters({4, 1, 1, 1, 1, 8});
  mdlDeclareSizes(record);
  block.setInputFrameFlag(DXP_FRAME_NO);
  int32_t scalar = 1;
  const DxpDimsInfo output{1, 1, &scalar, 0};
  mdlSetOutputPortDimensionInfo(record, 0, &output);
  mdlSetInputPortSampleTime(record, 0, 1.0, 0.0);
  mdlDeclareSampleTimes(record);
  EXPECT_EQ(dxpGetErrorStatus(record), nullptr);
  EXPECT_EQ(block.inputPort().width, 2);
}

// Found by running the command with a huge sample time: a separation and a symbol period each
// in range multiply to an infinite phase step, and every sample came out NaN with exit status
// 0. The initial conditions now refuse such a step, before the first sample.
TEST(HardeningRegression, PhaseStepsBeyondTheDoubleRangeAreRefused) {
  engine::PluginLibrary plugin(QUENVARITH_PLUGIN_PATH);
  ASSERT_TRUE(plugin.isOpen()) << plugin.error();
  const struct {
    double separation;
    double sampleTime;
    bool accepted;
  } cases[] = {
      {1.0, 1e308, false}, {1e308, 1.0, false}, {-1e300, 1e10, false},
      {1e290, 1.0, false}, {0.0, 1e308, false},  // (2i - M + 1) x T is already infinite: times 0 it
                                                 // is NaN
      {1e280, 1.0, true},  {1.0, 1e280, true},  {0.0, 1.0, true},
  };
  for (const auto& [separation, sampleTime, accepted] : cases) {
    SCOPED_TRACE(::testing::Message() << separation << " Hz, " << sampleTime << " s");
    engine::RunSettings settings;
    settings.parameters.frequencySeparation = separation;
    settings.sampleTime = sampleTime;
    engine::Simulation simulation(plugin, settings);
    const engine::RunResult result = simulation.setUp();
    if (accepted) {
      EXPECT_TRUE(result.ok()) << result.message;
    } else {
      EXPECT_EQ(result.outcome, engine::Outcome::BlockError);
      EXPECT_EQ(result.message,
                "The frequency separation and the symbol period give a phase step beyond the "
                "range of a double.");
    }
  }
}

}  // namespace
}  // namespace quenvarith::testing
