// The engine driving the built plug-in: sample-based runs, one output sample per step, with the
// input held in memory and the output dropped, so that what is measured is the block and the
// host's per-step work. Reports ns per output step.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "bench/bench_common.h"
#include "block/parameter_codes.h"
#include "engine/plugin_library.h"
#include "engine/simulation.h"

namespace quenvarith::bench {
namespace {

// The same pseudo-random symbols over and over, `steps` input values in all.
class RepeatedSymbols final : public engine::InputSource {
 public:
  explicit RepeatedSymbols(uint64_t values) : symbols_(frameSymbols()), valuesLeft_(values) {}
  engine::ReadResult read(std::span<double> values) override {
    if (valuesLeft_ < values.size()) {
      return engine::ReadResult::End;
    }
    valuesLeft_ -= values.size();
    for (double& value : values) {
      value = symbols_[next_];
      next_ = next_ + 1 == symbols_.size() ? 0 : next_ + 1;
    }
    return engine::ReadResult::Filled;
  }
  [[nodiscard]] const std::string& error() const override { return error_; }

 private:
  std::vector<int32_t> symbols_;
  uint64_t valuesLeft_;
  std::size_t next_ = 0;
  std::string error_;
};

// Takes the samples and keeps one of them, so the run cannot be optimised away.
class DroppedOutput final : public engine::OutputSink {
 public:
  bool write(std::span<const double> samples) override {
    benchmark::DoNotOptimize(samples.front());
    return true;
  }
  [[nodiscard]] const std::string& error() const override { return error_; }

 private:
  std::string error_;
};

// M = 4 tones 1 Hz apart, N samples per symbol, continuous phase.
engine::RunSettings continuousSettings(InputType inputType, int32_t samplesPerSymbol,
                                       engine::SignalMode signal) {
  engine::RunSettings settings;
  settings.parameters.mAryNumber = kToneCount;
  settings.parameters.inputType = codeOf(inputType);
  settings.parameters.frequencySeparation = 1.0;
  settings.parameters.phaseContinuity = codeOf(PhaseContinuity::Continuous);
  settings.parameters.samplesPerSymbol = samplesPerSymbol;
  settings.signal = signal;
  return settings;
}

// M = 4 integer symbols, N samples per symbol, continuous phase, sample-based.
void engineSampleStep(benchmark::State& state) {
  constexpr uint64_t kSymbolsPerRun = uint64_t{1} << 16;
  const auto n = static_cast<int32_t>(state.range(0));
  const engine::PluginLibrary plugin(QUENVARITH_BUILT_PLUGIN);
  if (!plugin.isOpen()) {
    state.SkipWithError(plugin.error().c_str());
    return;
  }
  const engine::RunSettings settings =
      continuousSettings(InputType::Integer, n, engine::SignalMode::Sample);
  uint64_t steps = 0;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    // One whole run per iteration; its set-up is a few microseconds of the run's milliseconds.
    engine::Simulation simulation(plugin, settings);
    engine::RunResult result = simulation.setUp();
    RepeatedSymbols input(kSymbolsPerRun);
    DroppedOutput output;
    if (result.ok()) {
      result = simulation.run(input, output);
    }
    if (!result.ok()) {
      state.SkipWithError(result.message.c_str());
      return;
    }
    steps = result.samplesWritten;
  }
  countSamples(state, static_cast<int64_t>(steps));
}

BENCHMARK(engineSampleStep)
    ->ArgNames({"samplesPerSymbol"})
    ->Arg(8)
    ->Arg(64)
    ->Unit(benchmark::kMillisecond);

// The command's default signal through the engine's step interface, as the command drives it:
// M = 4 bit input, one symbol (two bits) per frame, N samples per symbol, continuous phase, fed
// in chunks of 2048 steps. Everything but reading the input and writing the output: ns per step.
void engineFrameStep(benchmark::State& state) {
  constexpr size_t kStepsPerChunk = 2048;
  constexpr int32_t kBitsPerSymbol = 2;
  const auto n = static_cast<int32_t>(state.range(0));
  const engine::PluginLibrary plugin(QUENVARITH_BUILT_PLUGIN);
  if (!plugin.isOpen()) {
    state.SkipWithError(plugin.error().c_str());
    return;
  }
  engine::RunSettings settings = continuousSettings(InputType::Bit, n, engine::SignalMode::Frame);
  settings.frameSize = kBitsPerSymbol;
  settings.sampleTime = 1.0;
  engine::Simulation simulation(plugin, settings);
  const engine::RunResult setUp = simulation.setUp();
  if (!setUp.ok()) {
    state.SkipWithError(setUp.message.c_str());
    return;
  }
  std::vector<double> bits(kStepsPerChunk * kBitsPerSymbol);
  std::mt19937 random(7);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same input every run
  for (double& bit : bits) {
    bit = static_cast<double>(random() & 1U);
  }
  std::vector<double> samples(2 * simulation.samplesFor(bits.size()));
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    const engine::StepResult step = simulation.feed(bits, samples);
    if (!step.ok()) {
      state.SkipWithError(step.message.c_str());
      return;
    }
    benchmark::DoNotOptimize(samples.data());
  }
  state.counters["samples"] = static_cast<double>(kStepsPerChunk);  // ns per step
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kStepsPerChunk));
}

BENCHMARK(engineFrameStep)->ArgNames({"samplesPerSymbol"})->Arg(8);

}  // namespace
}  // namespace quenvarith::bench
