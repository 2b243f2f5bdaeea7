// The engine driving the built plug-in, with the input and output held in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "block/parameter_codes.h"
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
  parameters.inputType = codeOf(InputType::Integer);
  EXPECT_EQ(valuesPerSymbol(parameters), 1);
  parameters.inputType = codeOf(InputType::Bit);
  parameters.mAryNumber = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(valuesPerSymbol(parameters), 1);
}

// ---- The step interface ----

struct StepCase {
  const char* name;
  SignalMode signal;
  double inputType;
  double mAry;
  int32_t frameSize;
};

void PrintTo(const StepCase& stepCase, std::ostream* out) {
  *out << stepCase.name;
}

class StepInterface : public ::testing::TestWithParam<StepCase> {
 protected:
  RunSettings settings() const {
    RunSettings result;
    result.signal = GetParam().signal;
    result.frameSize = GetParam().frameSize;
    result.parameters.inputType = GetParam().inputType;
    result.parameters.mAryNumber = GetParam().mAry;
    result.parameters.samplesPerSymbol = 3;
    return result;
  }
  // Whole steps of input drawn from a fixed generator: bits, or symbols below M.
  std::vector<double> input(size_t steps, int32_t inputWidth) const {
    std::vector<double> values(steps * static_cast<size_t>(inputWidth));
    uint64_t state = 0x9e3779b97f4a7c15u;
    for (double& value : values) {
      state = state * 6364136223846793005u + 1442695040888963407u;
      const uint64_t draw = state >> 33;
      value = static_cast<double>(GetParam().inputType == codeOf(InputType::Bit)
                                      ? draw % 2
                                      : draw % static_cast<uint64_t>(GetParam().mAry));
    }
    return values;
  }
  PluginLibrary plugin_{QUENVARITH_PLUGIN_PATH};
};

INSTANTIATE_TEST_SUITE_P(
    Signals, StepInterface,
    ::testing::Values(
        StepCase{"FrameBits", SignalMode::Frame, codeOf(InputType::Bit), 8, 12},
        StepCase{"FrameIntegers", SignalMode::Frame, codeOf(InputType::Integer), 5, 4},
        StepCase{"SampleBits", SignalMode::Sample, codeOf(InputType::Bit), 4, 0},
        StepCase{"SampleIntegers", SignalMode::Sample, codeOf(InputType::Integer), 3, 0}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

// The samples do not depend on how the input is cut: chunks of any size, and a buffer with
// room for only some steps, give the whole run's samples. Each chunk is spoilt once fed, so a
// step that read it after the call would fail or change the samples. The rooms reach across
// the steps a feed looks ahead to for its output (eight), and stop just short of them.
TEST_P(StepInterface, ChunksOfAnySizeGiveTheWholeRun) {
  Simulation whole(plugin_, settings());
  ASSERT_TRUE(whole.setUp().ok());
  const std::vector<double> values = input(30, whole.layout().inputWidth);
  VectorInput source(values);
  VectorOutput expected;
  ASSERT_TRUE(whole.run(source, expected).ok());

  for (const auto& [chunk, roomSteps] : {std::pair<size_t, size_t>{1, 2},
                                         {2, 2},
                                         {5, 2},
                                         {7, 9},
                                         {values.size(), 2},
                                         {values.size(), 8},
                                         {values.size(), 9},
                                         {values.size(), 40}}) {
    SCOPED_TRACE(::testing::Message() << chunk << " values a chunk, room for " << roomSteps);
    Simulation stepped(plugin_, settings());
    ASSERT_TRUE(stepped.setUp().ok());
    // Room for a few steps at a time, so that a chunk may stop early and go on.
    std::vector<double> buffer(2 * roomSteps * stepped.stepSampleCount());
    std::vector<double> samples;
    std::span<const double> rest(values);
    while (!rest.empty()) {
      const std::span<const double> piece = rest.first(std::min(chunk, rest.size()));
      std::vector<double> fed(piece.begin(), piece.end());
      const StepResult result = stepped.feed(fed, buffer);
      std::fill(fed.begin(), fed.end(), 0.5);  // neither a bit nor a symbol
      ASSERT_TRUE(result.ok()) << result.message;
      samples.insert(samples.end(), buffer.begin(),
                     buffer.begin() + static_cast<ptrdiff_t>(2 * result.samplesWritten));
      rest = rest.subspan(result.valuesTaken);
    }
    EXPECT_EQ(stepped.heldValues(), 0u);
    EXPECT_TRUE(stepped.finish(buffer, false).ok());
    EXPECT_EQ(samples, expected.samples());
    EXPECT_FALSE(stepped.running());
  }
}

TEST_P(StepInterface, SamplesForCountsWholeStepsWithThoseHeld) {
  Simulation simulation(plugin_, settings());
  ASSERT_TRUE(simulation.setUp().ok());
  const auto width = static_cast<uint64_t>(simulation.layout().inputWidth);
  const uint64_t perStep = simulation.stepSampleCount();
  EXPECT_EQ(simulation.samplesFor(width - 1), 0u);
  EXPECT_EQ(simulation.samplesFor(width), perStep);
  EXPECT_EQ(simulation.samplesFor(3 * width), 3 * perStep);
  std::vector<double> buffer(2 * perStep);
  const std::vector<double> values = input(1, simulation.layout().inputWidth);
  if (width > 1) {
    const StepResult result = simulation.feed(std::span(values).first(1), buffer);
    EXPECT_EQ(result.valuesTaken, 1u);
    EXPECT_EQ(result.samplesWritten, 0u);
    EXPECT_EQ(simulation.heldValues(), 1u);
    EXPECT_EQ(simulation.samplesFor(width - 1), perStep);
  }
}

// A padded last step writes the symbols that carry input, a partial one included, and they
// equal the same symbols of a run whose input was padded by hand.
TEST(StepInterfacePadding, WritesOnlySymbolsThatCarryInput) {
  const PluginLibrary plugin(QUENVARITH_PLUGIN_PATH);
  RunSettings settings;
  settings.parameters.mAryNumber = 8;                      // three bits a symbol
  settings.frameSize = 12;                                 // four symbols a step
  const std::vector<double> message{1, 0, 1, 1, 1, 0, 0};  // two symbols and a third's bit

  std::vector<double> padded = message;
  padded.resize(12, 0.0);
  Simulation byHand(plugin, settings);
  ASSERT_TRUE(byHand.setUp().ok());
  std::vector<double> expected(2 * byHand.stepSampleCount());
  ASSERT_EQ(byHand.feed(padded, expected).samplesWritten, 32u);

  Simulation simulation(plugin, settings);
  ASSERT_TRUE(simulation.setUp().ok());
  std::vector<double> samples(2 * simulation.stepSampleCount());
  EXPECT_EQ(simulation.feed(message, samples).valuesTaken, 7u);
  const StepResult last = simulation.finish(samples, true);
  ASSERT_TRUE(last.ok()) << last.message;
  EXPECT_EQ(last.samplesWritten, 24u);  // three symbols of eight
  EXPECT_TRUE(std::equal(samples.begin(), samples.begin() + 48, expected.begin()));

  Simulation unpadded(plugin, settings);
  ASSERT_TRUE(unpadded.setUp().ok());
  (void)unpadded.feed(message, samples);
  const StepResult refused = unpadded.finish(samples, false);
  EXPECT_EQ(refused.outcome, Outcome::InputError);
  EXPECT_EQ(refused.message, "the input ends 7 values into a step of 12 values");
}

// Wherever in a long feed a step fails, the steps before it are written as a clean run writes
// them, its values count as taken, and the run is over: frame-based (one step of eight samples
// per input) and sample-based (eight steps of one sample per input).
TEST(StepInterfaceErrors, BlockErrorKeepsTheStepsBeforeItAndEndsTheRun) {
  const PluginLibrary plugin(QUENVARITH_PLUGIN_PATH);
  for (const SignalMode mode : {SignalMode::Frame, SignalMode::Sample}) {
    SCOPED_TRACE(mode == SignalMode::Frame ? "frame-based" : "sample-based");
    RunSettings settings;  // M 4: two bits a symbol, eight samples a symbol
    settings.signal = mode;
    constexpr size_t kInputs = 30;
    Simulation clean(plugin, settings);
    ASSERT_TRUE(clean.setUp().ok());
    const auto width = static_cast<size_t>(clean.layout().inputWidth);
    const size_t perInput = clean.stepSampleCount();
    std::vector<double> values(width * kInputs);
    for (size_t i = 0; i < values.size(); ++i) {
      values[i] = static_cast<double>((i * 7 / 3) % 2);
    }
    std::vector<double> cleanSamples(2 * perInput * kInputs);
    ASSERT_EQ(clean.feed(values, cleanSamples).samplesWritten, perInput * kInputs);

    for (const size_t badInput : {size_t{0}, size_t{2}, size_t{8}, size_t{9}, kInputs - 1}) {
      SCOPED_TRACE(badInput);
      Simulation simulation(plugin, settings);
      ASSERT_TRUE(simulation.setUp().ok());
      std::vector<double> bad = values;
      bad[width * badInput] = 2;
      std::vector<double> samples(2 * perInput * (kInputs + 10));
      const StepResult failed = simulation.feed(bad, samples);
      EXPECT_EQ(failed.outcome, Outcome::BlockError);
      EXPECT_EQ(failed.message, "Input must be binary.");
      EXPECT_EQ(failed.samplesWritten, perInput * badInput);
      EXPECT_EQ(failed.valuesTaken, width * (badInput + 1));
      EXPECT_TRUE(std::equal(samples.begin(),
                             samples.begin() + static_cast<ptrdiff_t>(2 * perInput * badInput),
                             cleanSamples.begin()));
      EXPECT_FALSE(simulation.running());
      EXPECT_EQ(simulation.feed(values, samples).outcome, Outcome::HostError);
      EXPECT_EQ(simulation.finish(samples, true).outcome, Outcome::HostError);
    }
  }
}

// ---- Rates in hertz ----

// Exact wherever the frame's values and a symbol's are powers of two. Otherwise no frame period
// may divide into T exactly (the element periods reachable by a division skip some doubles),
// and the period is then within an ulp or two.
TEST(Timing, FramePeriodGivesTheBlockTheSymbolPeriodExactly) {
  for (const double rate : {1.0, 3.0, 7.0, 1200.0, 2400.0, 9600.0, 44100.0, 1e6 / 3.0}) {
    for (const int32_t valuesPerSymbol : {1, 2, 3, 4, 10}) {
      for (const int32_t symbols : {1, 3, 100, 1024, 4097}) {
        TimingPlan plan;
        std::string error;
        const TimingRequest request{SignalMode::Frame,
                                    symbols * valuesPerSymbol,
                                    1.0,
                                    {RateKind::SymbolRate, rate},
                                    valuesPerSymbol,
                                    8};
        ASSERT_TRUE(planTiming(request, plan, error)) << error;
        const double period =
            blockSymbolPeriod(plan.inputSampleTime, plan.frameSize, valuesPerSymbol);
        if (std::has_single_bit(static_cast<uint32_t>(valuesPerSymbol)) &&
            std::has_single_bit(static_cast<uint32_t>(symbols))) {
          EXPECT_EQ(period, 1.0 / rate) << rate << " Hz, " << symbols << " x " << valuesPerSymbol;
        } else {
          EXPECT_NEAR(period * rate, 1.0, 1e-15);
        }
      }
    }
  }
}

TEST(Timing, RatesWithoutAUsablePeriodAreRefused) {
  const double inf = std::numeric_limits<double>::infinity();
  for (const RateKind kind : {RateKind::SymbolRate, RateKind::SampleRate}) {
    for (const double hertz :
         {0.0, -1200.0, inf, -inf, std::numeric_limits<double>::quiet_NaN(), 1e-320, 5e-324}) {
      TimingPlan plan;
      std::string error;
      EXPECT_FALSE(planTiming({SignalMode::Frame, 0, 1.0, {kind, hertz}, 2, 8}, plan, error))
          << hertz;
      EXPECT_FALSE(error.empty());
    }
  }
  TimingPlan plan;
  std::string error;
  EXPECT_TRUE(
      planTiming({SignalMode::Sample, 0, 1.0, {RateKind::SampleRate, 9600}, 2, 8}, plan, error));
  EXPECT_EQ(plan.inputSampleTime, 8.0 / 9600);
  EXPECT_EQ(plan.symbolRate, 1200.0);
  EXPECT_EQ(plan.sampleRate, 9600.0);
}

// With a rate in hertz the frame size is only a speed setting.
TEST(Timing, SignalDoesNotDependOnTheFrameSize) {
  const PluginLibrary plugin(QUENVARITH_PLUGIN_PATH);
  std::vector<double> bits(2 * 3000);
  for (size_t i = 0; i < bits.size(); ++i) {
    bits[i] = static_cast<double>((i * 7 + i / 3) % 2);
  }
  std::vector<double> reference;
  for (const int32_t frameSize : {0, 2, 6, 2000}) {
    RunSettings settings;
    settings.rate = {RateKind::SymbolRate, 1200};
    settings.parameters.frequencySeparation = 600;
    settings.frameSize = frameSize;
    Simulation simulation(plugin, settings);
    ASSERT_TRUE(simulation.setUp().ok());
    EXPECT_EQ(simulation.layout().sampleRate, 9600.0);
    std::vector<double> samples(2 * simulation.samplesFor(bits.size()) +
                                2 * simulation.stepSampleCount());
    const StepResult fed = simulation.feed(bits, samples);
    ASSERT_TRUE(fed.ok()) << fed.message;
    const StepResult last =
        simulation.finish(std::span(samples).subspan(2 * fed.samplesWritten), true);
    ASSERT_TRUE(last.ok()) << last.message;
    samples.resize(2 * (fed.samplesWritten + last.samplesWritten));
    ASSERT_EQ(samples.size(), 2u * 3000 * 8) << frameSize;
    if (reference.empty()) {
      reference = samples;
      continue;
    }
    for (size_t i = 0; i < samples.size(); ++i) {
      ASSERT_NEAR(samples[i], reference[i], 1e-9) << "frame " << frameSize << ", double " << i;
    }
  }
}

}  // namespace
}  // namespace quenvarith::engine
