// The engine driving the built plug-in, with the input and output held in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "engine/plugin_library.h"
#include "engine/simulation.h"

namespace quenvarith::engine {
namespace {

class VectorInput final : public InputSource {
 public:
  explicit VectorInput(std::vector<double> values) : values_(std::move(values)) {}
  ReadResult read(std::span<double> values) override {
    if (next_ == values_.size()) {
      return ReadResult::End;
    }
    ++reads_;
    for (double& value : values) {
      value = values_.at(next_++);
    }
    return ReadResult::Filled;
  }
  [[nodiscard]] const std::string& error() const override { return error_; }
  [[nodiscard]] int reads() const { return reads_; }

 private:
  std::vector<double> values_;
  size_t next_ = 0;
  int reads_ = 0;
  std::string error_;
};

class VectorOutput final : public OutputSink {
 public:
  explicit VectorOutput(size_t capacity = std::numeric_limits<size_t>::max())
      : capacity_(capacity) {}
  bool write(std::span<const double> samples) override {
    if (samples_.size() + samples.size() > capacity_) {
      return false;
    }
    samples_.insert(samples_.end(), samples.begin(), samples.end());
    return true;
  }
  [[nodiscard]] const std::string& error() const override { return error_; }
  [[nodiscard]] const std::vector<double>& samples() const { return samples_; }

 private:
  size_t capacity_;
  std::vector<double> samples_;
  std::string error_ = "the output is full";
};

TEST(PluginLibrary, ReportsWhatKeepsAPlugInFromLoading) {
  const PluginLibrary missing("/no/such/dir/quenvarith.so");
  EXPECT_FALSE(missing.isOpen());
  EXPECT_NE(missing.error().find("/no/such/dir/quenvarith.so"), std::string::npos);
  EXPECT_EQ(missing.blockName(), "quenvarith");

  const PluginLibrary noEntry(QUENVARITH_VQ_LIBRARY_PATH);
  EXPECT_FALSE(noEntry.isOpen());
  EXPECT_NE(noEntry.error().find("does not export dxpFunction"), std::string::npos)
      << noEntry.error();

  const PluginLibrary plugin(QUENVARITH_PLUGIN_PATH);
  EXPECT_TRUE(plugin.isOpen()) << plugin.error();
  EXPECT_EQ(plugin.blockName(), "quenvarith");
}

class SimulationTest : public ::testing::TestWithParam<Dispatch> {
 protected:
  static RunSettings settings(SignalMode signal) {
    RunSettings result;
    result.signal = signal;
    result.dispatch = GetParam();
    return result;
  }
  PluginLibrary plugin_{QUENVARITH_PLUGIN_PATH};
};
INSTANTIATE_TEST_SUITE_P(Engine, SimulationTest,
                         ::testing::Values(Dispatch::Table, Dispatch::Flags));

TEST_P(SimulationTest, FrameRunTakesOneFramePerStep) {
  RunSettings frame = settings(SignalMode::Frame);
  frame.frameSize = 6;
  frame.sampleTime = 0.5;
  Simulation simulation(plugin_, frame);
  ASSERT_TRUE(simulation.setUp().ok());
  EXPECT_EQ(simulation.layout().inputWidth, 6);
  EXPECT_EQ(simulation.layout().outputWidth, 24);
  EXPECT_EQ(simulation.layout().stepsPerInput, 1);
  EXPECT_DOUBLE_EQ(simulation.layout().outputSamplePeriod, 0.5 / 24);

  VectorInput input({1, 0, 1, 1, 0, 0, 0, 1, 1, 0, 1, 1});
  VectorOutput output;
  const RunResult result = simulation.run(input, output);
  ASSERT_TRUE(result.ok()) << result.message;
  EXPECT_EQ(input.reads(), 2);
  EXPECT_EQ(result.samplesWritten, 48u);
  ASSERT_EQ(output.samples().size(), 96u);
  for (size_t i = 0; i < output.samples().size(); i += 2) {
    EXPECT_NEAR(std::hypot(output.samples()[i], output.samples()[i + 1]), 1.0, 1e-12);
  }
}

TEST_P(SimulationTest, SampleRunReadsOneSymbolEveryNSteps) {
  RunSettings sample = settings(SignalMode::Sample);
  sample.parameters.samplesPerSymbol = 5;
  sample.sampleTime = 0.1;
  Simulation simulation(plugin_, sample);
  ASSERT_TRUE(simulation.setUp().ok());
  EXPECT_EQ(simulation.layout().inputWidth, 2);
  EXPECT_EQ(simulation.layout().outputWidth, 1);
  EXPECT_EQ(simulation.layout().stepsPerInput, 5);
  EXPECT_NEAR(simulation.layout().outputSamplePeriod, 0.02, 1e-15);

  VectorInput input({1, 1, 0, 1, 0, 0});
  VectorOutput output;
  const RunResult result = simulation.run(input, output);
  ASSERT_TRUE(result.ok()) << result.message;
  EXPECT_EQ(input.reads(), 3);
  EXPECT_EQ(result.samplesWritten, 15u);
}

// Sets the stop flag while a given step is written, or fails the read it makes after that step,
// as a stop signal arriving then would.
class StopRequester final : public InputSource, public OutputSink {
 public:
  StopRequester(uint64_t step, bool duringRead) : step_(step), duringRead_(duringRead) {}
  ReadResult read(std::span<double> values) override {
    if (duringRead_ && written_ == step_) {
      flag_.store(1);
      return ReadResult::Failed;  // an interrupted read
    }
    std::fill(values.begin(), values.end(), 1.0);
    return ReadResult::Filled;
  }
  bool write(std::span<const double> /*samples*/) override {
    if (++written_ == step_ && !duringRead_) {
      flag_.store(1);
    }
    return true;
  }
  [[nodiscard]] const std::string& error() const override { return error_; }
  [[nodiscard]] StopToken token() const { return StopToken(flag_); }
  [[nodiscard]] uint64_t written() const { return written_; }

 private:
  uint64_t step_;
  bool duringRead_;
  uint64_t written_ = 0;
  std::atomic<int> flag_{0};
  std::string error_ = "cannot read the input: Interrupted system call";
};

TEST_P(SimulationTest, AStopRequestEndsTheRunAtTheNextStepBoundary) {
  RunSettings sample = settings(SignalMode::Sample);
  sample.parameters.samplesPerSymbol = 5;
  for (const bool duringRead : {false, true}) {
    Simulation simulation(plugin_, sample);
    ASSERT_TRUE(simulation.setUp().ok());
    // Step 7 is inside the second symbol; the read after step 10 starts the third.
    StopRequester requester(duringRead ? 10 : 7, duringRead);
    const RunResult result = simulation.run(requester, requester, nullptr, requester.token());
    EXPECT_EQ(result.outcome, Outcome::Interrupted) << result.message;
    EXPECT_EQ(result.samplesWritten, duringRead ? 10u : 7u);
    EXPECT_EQ(requester.written(), result.samplesWritten);
  }
}

TEST_P(SimulationTest, StopsWhenTheOutputCannotBeWritten) {
  Simulation simulation(plugin_, settings(SignalMode::Frame));
  ASSERT_TRUE(simulation.setUp().ok());
  VectorInput input({1, 0, 1, 1, 0, 0});
  VectorOutput output(16);  // room for one symbol's 8 samples
  const RunResult result = simulation.run(input, output);
  EXPECT_EQ(result.outcome, Outcome::OutputError);
  EXPECT_EQ(result.message, "the output is full");
  EXPECT_EQ(result.samplesWritten, 8u);
  EXPECT_EQ(input.reads(), 2);
}

TEST_P(SimulationTest, SampleTimesTheHostCannotRunAreRefused) {
  // The block passes negative and non-finite periods on, and tiny ones whose output samples are
  // 0 s or a subnormal apart; a run needs positive, finite periods and a finite sample rate.
  const struct {
    double period;
    const char* said;
  } cases[] = {
      {-2.0, "positive and finite"},
      {std::numeric_limits<double>::infinity(), "positive and finite"},
      {std::numeric_limits<double>::quiet_NaN(), "positive and finite"},
      {1e-320, "not a finite number"},
      {std::numeric_limits<double>::denorm_min(), "0 s"},
      {4e-308, "not a finite number"},  // samples 5e-309 s apart: 2e308 per second
  };
  for (const auto& [period, said] : cases) {
    for (const SignalMode signal : {SignalMode::Frame, SignalMode::Sample}) {
      RunSettings odd = settings(signal);
      odd.sampleTime = period;
      Simulation simulation(plugin_, odd);
      const RunResult result = simulation.setUp();
      EXPECT_EQ(result.outcome, Outcome::SampleTimeError) << period;
      EXPECT_NE(result.message.find(said), std::string::npos) << period << ": " << result.message;
    }
  }
  // The smallest periods whose rate is still a number run.
  RunSettings small = settings(SignalMode::Sample);
  small.sampleTime = 1e-300;
  Simulation simulation(plugin_, small);
  EXPECT_TRUE(simulation.setUp().ok());
}

TEST_P(SimulationTest, RefusesStorageBeyondTheHostsLimitBeforeAllocatingIt) {
  // 2^27 samples per symbol: two gibibytes of output buffer and as much again of sampleBuffer.
  RunSettings huge = settings(SignalMode::Frame);
  huge.parameters.mAryNumber = 2;
  huge.parameters.samplesPerSymbol = 134217728;
  Simulation simulation(plugin_, huge);
  const RunResult result = simulation.setUp();
  EXPECT_EQ(result.outcome, Outcome::HostError);
  EXPECT_NE(result.message.find("4096 MiB"), std::string::npos) << result.message;
  EXPECT_NE(result.message.find("limit of 1024 MiB"), std::string::npos) << result.message;
}

TEST_P(SimulationTest, BlockErrorsComeBackWithTheBlocksMessage) {
  RunSettings bad = settings(SignalMode::Frame);
  bad.parameters.phaseContinuity = 3;
  Simulation simulation(plugin_, bad);
  const RunResult result = simulation.setUp();
  EXPECT_EQ(result.outcome, Outcome::BlockError);
  EXPECT_EQ(result.message, "Phase continuity parameter is outside of expected range.");

  Simulation notSetUp(plugin_, settings(SignalMode::Frame));
  VectorInput input({1, 0});
  VectorOutput output;
  EXPECT_EQ(notSetUp.run(input, output).outcome, Outcome::HostError);
  EXPECT_TRUE(output.samples().empty());
}

TEST(ValuesPerSymbol, IsLog2MForBitsAndOneForIntegers) {
  host::ParameterValues parameters;
  for (const auto& [m, k] :
       std::vector<std::pair<double, int>>{{2, 1}, {4, 2}, {8, 3}, {1024, 10}}) {
    parameters.mAryNumber = m;
    EXPECT_EQ(valuesPerSymbol(parameters), k) << m;
  }
  parameters.inputType = 2;
  EXPECT_EQ(valuesPerSymbol(parameters), 1);
  parameters.inputType = 1;
  parameters.mAryNumber = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(valuesPerSymbol(parameters), 1);
}

}  // namespace
}  // namespace quenvarith::engine
