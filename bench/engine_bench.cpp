// The engine driving the built plug-in through its step interface, with the input held in
// memory and the output written to a buffer that is reused, so that what is measured is the
// block and the host's per-step work. Reports ns per output step.
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

// A run set up for `settings`, fed `values` a chunk at a time as the command, the Python module
// and the GNU Radio block feed it; `steps` output steps per chunk. Reports ns per step.
void feedChunks(benchmark::State& state, const engine::RunSettings& settings,
                const std::vector<double>& values, int64_t steps) {
  const engine::PluginLibrary plugin(QUENVARITH_BUILT_PLUGIN);
  if (!plugin.isOpen()) {
    state.SkipWithError(plugin.error().c_str());
    return;
  }
  engine::Simulation simulation(plugin, settings);
  const engine::RunResult setUp = simulation.setUp();
  if (!setUp.ok()) {
    state.SkipWithError(setUp.message.c_str());
    return;
  }
  std::vector<double> samples(2 * simulation.samplesFor(values.size()));
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    const engine::StepResult step = simulation.feed(values, samples);
    if (!step.ok()) {
      state.SkipWithError(step.message.c_str());
      return;
    }
    benchmark::DoNotOptimize(samples.data());
  }
  state.counters["samples"] = static_cast<double>(steps);  // ns per step
  state.SetItemsProcessed(state.iterations() * steps);
}

// Sample-based, M = 4 integer symbols, N samples per symbol, continuous phase: one output sample
// per step, an input hit at every Nth, fed 2048 symbols at a time.
void engineSampleStep(benchmark::State& state) {
  constexpr size_t kSymbolsPerChunk = 2048;
  const auto n = static_cast<int32_t>(state.range(0));
  const std::vector<int32_t> symbols = frameSymbols();
  std::vector<double> values(kSymbolsPerChunk);
  for (size_t i = 0; i < values.size(); ++i) {
    values[i] = symbols[i % symbols.size()];
  }
  feedChunks(state, continuousSettings(InputType::Integer, n, engine::SignalMode::Sample), values,
             static_cast<int64_t>(kSymbolsPerChunk) * n);
}

BENCHMARK(engineSampleStep)->ArgNames({"samplesPerSymbol"})->Arg(8)->Arg(64);

// The command's default signal through the engine's step interface, as the command drives it:
// M = 4 bit input, one symbol (two bits) per frame, N samples per symbol, continuous phase, fed
// in chunks of 2048 steps. Everything but reading the input and writing the output: ns per step.
void engineFrameStep(benchmark::State& state) {
  constexpr size_t kStepsPerChunk = 2048;
  constexpr int32_t kBitsPerSymbol = 2;
  engine::RunSettings settings = continuousSettings(
      InputType::Bit, static_cast<int32_t>(state.range(0)), engine::SignalMode::Frame);
  settings.frameSize = kBitsPerSymbol;
  settings.sampleTime = 1.0;
  std::vector<double> bits(kStepsPerChunk * kBitsPerSymbol);
  std::mt19937 random(7);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same input every run
  for (double& bit : bits) {
    bit = static_cast<double>(random() & 1U);
  }
  feedChunks(state, settings, bits, static_cast<int64_t>(kStepsPerChunk));
}

BENCHMARK(engineFrameStep)->ArgNames({"samplesPerSymbol"})->Arg(8);

}  // namespace
}  // namespace quenvarith::bench
