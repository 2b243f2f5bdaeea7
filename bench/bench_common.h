// What every synthesis benchmark shares: the frame they produce and how they report it.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "block/tone_generation.h"
#include "host/cache_line_allocator.h"

namespace quenvarith::bench {

// M = 4 tones, 1024 symbols per frame; N samples per symbol is a benchmark argument.
inline constexpr int32_t kToneCount = 4;
inline constexpr int32_t kSymbolsPerFrame = 1024;

// Sample buffers start on a cache line, as the host's do, so that no figure depends on where
// the heap happened to put one.
using SampleBuffer = std::vector<double, host::CacheLineAllocator<double>>;

// Argument names shared by the benchmarks, so the summary can pair a run with its reference.
inline constexpr const char* kSamplesArg = "N";
inline constexpr const char* kContinuityArg = "continuity";  // 1 continuous, 2 discontinuous
inline constexpr const char* kPhaseArg = "log10phase";       // start phase about 10^x rad

// A fixed pseudo-random sequence of tone indices, the same for every benchmark.
inline std::vector<int32_t> frameSymbols() {
  std::mt19937 random(1234);
  std::uniform_int_distribution<int32_t> tone(0, kToneCount - 1);
  std::vector<int32_t> symbols(kSymbolsPerFrame);
  for (auto& symbol : symbols) symbol = tone(random);
  return symbols;
}

// Orthogonal tones: frequency separation 1 / T, so tone i advances by (2i - M + 1) * pi / N
// per sample.
inline std::vector<double> phaseSteps(int32_t samplesPerSymbol) {
  std::vector<double> steps(kToneCount);
  for (int32_t i = 0; i < kToneCount; ++i) {
    steps[static_cast<std::size_t>(i)] =
        static_cast<double>(2 * i - kToneCount + 1) * kPi / samplesPerSymbol;
  }
  return steps;
}

// Records the samples one iteration produces: the summary turns them into ns per sample.
inline void countSamples(benchmark::State& state, int64_t samplesPerIteration) {
  state.counters["samples"] = static_cast<double>(samplesPerIteration);
  state.SetItemsProcessed(state.iterations() * samplesPerIteration);
}

}  // namespace quenvarith::bench
