// The synthesis measured on its own: the straightforward loop every speed-up is measured
// against, the same frame loop through each kernel, and the memory ceiling.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "bench/bench_common.h"
#include "block/tone_generation.h"
#include "block/tone_kernel/kernel_level.h"
#include "block/tone_kernel/kernel_table.h"
#include "block/tone_kernel/tone_synthesizer.h"

namespace quenvarith::bench {
namespace {

struct FrameSetup {
  explicit FrameSetup(const benchmark::State& state)
      : samplesPerSymbol(static_cast<int32_t>(state.range(0))),
        continuous(state.range(1) == 1),
        startPhase(std::pow(10.0, static_cast<double>(state.range(2)))),
        symbols(frameSymbols()),
        steps(phaseSteps(samplesPerSymbol)),
        tonePhase(kToneCount),
        output(static_cast<std::size_t>(2 * kSymbolsPerFrame * samplesPerSymbol)) {}

  // Every frame starts from the same phases, so |phase| stays near its nominal size.
  void resetPhases() {
    phase = startPhase;
    for (std::size_t t = 0; t < tonePhase.size(); ++t) {
      tonePhase[t] = startPhase + static_cast<double>(t);
    }
  }

  [[nodiscard]] int64_t samplesPerFrame() const {
    return int64_t{kSymbolsPerFrame} * samplesPerSymbol;
  }

  int32_t samplesPerSymbol;
  bool continuous;
  double startPhase;
  std::vector<int32_t> symbols;
  std::vector<double> steps;
  std::vector<double> tonePhase;
  SampleBuffer output;
  double phase = 0.0;
};

// One frame exactly as the block computes it, with std::cos and std::sin per sample.
void straightforwardLoop(benchmark::State& state) {
  FrameSetup frame(state);
  const int32_t n = frame.samplesPerSymbol;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    frame.resetPhases();
    double* out = frame.output.data();
    for (const int32_t tone : frame.symbols) {
      const double step = frame.steps[static_cast<std::size_t>(tone)];
      double phase =
          frame.continuous ? frame.phase : frame.tonePhase[static_cast<std::size_t>(tone)];
      for (int32_t j = 0; j < n; ++j) {
        *out++ = std::cos(phase);
        *out++ = std::sin(phase);
        phase += step;
      }
      frame.phase = phase;
      for (std::size_t t = 0; t < frame.tonePhase.size(); ++t) {
        double x = n * frame.steps[t] + frame.tonePhase[t];
        if (x >= kTwoPi) {
          x -= kTwoPi;
        }
        frame.tonePhase[t] = x;
      }
    }
    benchmark::DoNotOptimize(frame.output.data());
    benchmark::ClobberMemory();
  }
  countSamples(state, frame.samplesPerFrame());
}

// The kernel of `level`, or null (and the benchmark skipped) where it is not built or does not
// run on this processor.
const ToneKernel* kernelToMeasure(benchmark::State& state, KernelLevel level) {
  const ToneKernel* kernel = findToneKernel(level);
  if (kernel == nullptr || !runsOnThisCpu(*kernel)) {
    state.SkipWithError("kernel not built or not run by this CPU");
    return nullptr;
  }
  return kernel;
}

// The same frame through ToneSynthesizer::addFrame with one kernel, without the record around it.
template <KernelLevel kLevel>
void kernelLoop(benchmark::State& state) {
  const ToneKernel* kernel = kernelToMeasure(state, kLevel);
  if (kernel == nullptr) {
    return;
  }
  FrameSetup frame(state);
  const int32_t n = frame.samplesPerSymbol;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    frame.resetPhases();
    ToneSynthesizer synthesizer(*kernel, frame.output.data());
    frame.phase = synthesizer.addFrame({frame.symbols.data(), kSymbolsPerFrame, frame.steps.data(),
                                        frame.tonePhase.data(), kToneCount, n, frame.continuous},
                                       frame.phase);
    synthesizer.finish();
    benchmark::DoNotOptimize(frame.output.data());
    benchmark::ClobberMemory();
  }
  countSamples(state, frame.samplesPerFrame());
}

// The memory ceiling: 16 bytes stored per sample and nothing computed.
void storeOnly(benchmark::State& state) {
  const auto samples = int64_t{kSymbolsPerFrame} * state.range(0);
  SampleBuffer output(static_cast<std::size_t>(2 * samples));
  double value = 0.5;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    benchmark::DoNotOptimize(value);
    for (std::size_t j = 0; j < output.size(); j += 2) {
      output[j] = value;
      output[j + 1] = -value;
    }
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  countSamples(state, samples);
}

// One long tone through one kernel alone: the sincos and the add chain, no symbols, no tone
// advance. Compares the kernels with each other.
template <KernelLevel kLevel>
void kernelTone(benchmark::State& state) {
  constexpr int32_t kSamples = 8192;
  const ToneKernel* kernel = kernelToMeasure(state, kLevel);
  if (kernel == nullptr) {
    return;
  }
  const double startPhase = std::pow(10.0, static_cast<double>(state.range(0)));
  SampleBuffer output(static_cast<std::size_t>(2 * kSamples));
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    ToneSynthesizer synthesizer(*kernel, output.data());
    benchmark::DoNotOptimize(synthesizer.addSymbol(startPhase, 0.39, kSamples));
    synthesizer.finish();
    benchmark::ClobberMemory();
  }
  countSamples(state, kSamples);
}

BENCHMARK(kernelTone<KernelLevel::plain>)->Name("tonePlain")->ArgNames({kPhaseArg})->Arg(3)->Arg(9);
BENCHMARK(kernelTone<KernelLevel::avx2>)->Name("toneAvx2")->ArgNames({kPhaseArg})->Arg(3)->Arg(9);
BENCHMARK(kernelTone<KernelLevel::avx512>)
    ->Name("toneAvx512")
    ->ArgNames({kPhaseArg})
    ->Arg(3)
    ->Arg(9);

void frameArguments(benchmark::internal::Benchmark* benchmark) {
  benchmark->ArgNames({kSamplesArg, kContinuityArg, kPhaseArg})
      ->ArgsProduct({{8, 64}, {1, 2}, {3, 9}});
}

BENCHMARK(straightforwardLoop)->Apply(frameArguments);
BENCHMARK(kernelLoop<KernelLevel::plain>)->Name("kernelPlain")->Apply(frameArguments);
BENCHMARK(kernelLoop<KernelLevel::avx2>)->Name("kernelAvx2")->Apply(frameArguments);
BENCHMARK(kernelLoop<KernelLevel::avx512>)->Name("kernelAvx512")->Apply(frameArguments);
BENCHMARK(storeOnly)->ArgNames({kSamplesArg})->Arg(8)->Arg(64);

// The per-symbol tone advance of one kernel with many tones (M = 4096, N = 1): ns per symbol.
template <KernelLevel kLevel>
void toneAdvance(benchmark::State& state) {
  const ToneKernel* kernel = kernelToMeasure(state, kLevel);
  if (kernel == nullptr) {
    return;
  }
  constexpr std::size_t kManyTones = 4096;
  std::vector<double> steps(kManyTones);
  std::vector<double> tonePhase(kManyTones, 0.0);
  for (std::size_t t = 0; t < kManyTones; ++t) {
    steps[t] = (2.0 * static_cast<double>(t) - kManyTones + 1) * kPi / kManyTones;
  }
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    kernel->advanceTones(tonePhase.data(), steps.data(), kManyTones, 1.0);
    benchmark::DoNotOptimize(tonePhase.data());
    benchmark::ClobberMemory();
  }
  state.counters["symbols"] = 1;
}
BENCHMARK(toneAdvance<KernelLevel::plain>)->Name("toneAdvancePlain/M:4096");
BENCHMARK(toneAdvance<KernelLevel::avx2>)->Name("toneAdvanceAvx2/M:4096");
BENCHMARK(toneAdvance<KernelLevel::avx512>)->Name("toneAdvanceAvx512/M:4096");

}  // namespace
}  // namespace quenvarith::bench
