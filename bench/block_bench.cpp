// The block itself: frame-based mdlComputeOutputs on a record the engine has set up, integer
// input, one frame of 1024 symbols per call.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "bench/bench_common.h"
#include "block/parameter_codes.h"
#include "block/symbol_mapping.h"
#include "block/tone_generation.h"
#include "block/work_vectors.h"
#include "engine/simulation.h"
#include "entry/entry.h"
#include "entry/texts.h"
#include "host/host_block.h"

namespace quenvarith::bench {
namespace {

// A record with integer (or bit) input and frequency separation 1 Hz, set up by the engine's
// simulation on the linked block and left as a host leaves it before the first step. Frame-based:
// `symbols` elements per frame with a frame period of `symbols` seconds; sample-based: one symbol
// per input sample of 1 s. Either way T = 1 s, so tone i steps by (2i - M + 1) * pi / N. The
// benchmarks call the block's methods on it themselves, so that they measure the block's call
// alone.
class FrameRecord {
 public:
  FrameRecord(int32_t mAryNumber, int32_t samplesPerSymbol, int32_t symbols, bool continuous,
              bool sampleBased = false, bool bits = false)
      : simulation_(
            &dxpFunction, entry::kModuleName,
            runSettings(mAryNumber, samplesPerSymbol, symbols, continuous, sampleBased, bits)),
        ok_(simulation_.setUp().ok()) {}

  bool ok() { return ok_ && dxpGetErrorStatus(record()) == nullptr; }
  DxpBlockRecord* record() { return host().record(); }
  host::HostBlock& host() { return simulation_.block(); }
  std::span<double> input() { return host().inputSignal(); }
  double& phase() { return host().workVector<double>(static_cast<int>(WorkVector::Phase))[0]; }
  std::span<double> tonePhase() {
    return host().workVector<double>(static_cast<int>(WorkVector::TonePhase));
  }

 private:
  static engine::RunSettings runSettings(int32_t mAryNumber, int32_t samplesPerSymbol,
                                         int32_t symbols, bool continuous, bool sampleBased,
                                         bool bits) {
    engine::RunSettings settings;
    settings.parameters.mAryNumber = mAryNumber;
    settings.parameters.inputType = codeOf(bits ? InputType::Bit : InputType::Integer);
    settings.parameters.frequencySeparation = 1.0;
    settings.parameters.phaseContinuity =
        codeOf(continuous ? PhaseContinuity::Continuous : PhaseContinuity::Discontinuous);
    settings.parameters.samplesPerSymbol = samplesPerSymbol;
    settings.signal = sampleBased ? engine::SignalMode::Sample : engine::SignalMode::Frame;
    settings.frameSize = bits ? symbols * bitsPerSymbol(mAryNumber) : symbols;
    settings.sampleTime = sampleBased ? 1.0 : symbols;
    return settings;
  }

  engine::Simulation simulation_;
  bool ok_;
};

void blockFrame(benchmark::State& state) {
  const auto n = static_cast<int32_t>(state.range(0));
  const bool continuous = state.range(1) == 1;
  const double startPhase = std::pow(10.0, static_cast<double>(state.range(2)));
  FrameRecord frame(kToneCount, n, kSymbolsPerFrame, continuous);
  const std::vector<int32_t> symbols = frameSymbols();
  for (std::size_t s = 0; s < symbols.size(); ++s) {
    frame.input()[s] = symbols[s];
  }
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    // Every frame starts from the same phases, so |phase| stays near its nominal size.
    frame.phase() = startPhase;
    for (std::size_t t = 0; t < frame.tonePhase().size(); ++t) {
      frame.tonePhase()[t] = startPhase + static_cast<double>(t);
    }
    mdlComputeOutputs(frame.record(), 0);
    benchmark::ClobberMemory();
  }
  if (!frame.ok()) {
    state.SkipWithError("the block reported an error");
  }
  countSamples(state, int64_t{kSymbolsPerFrame} * n);
}

BENCHMARK(blockFrame)
    ->ArgNames({kSamplesArg, kContinuityArg, kPhaseArg})
    ->ArgsProduct({{8, 64}, {1, 2}, {3, 9}});

// The input mapping alone on a frame of 1024 symbols (M = 4), the same symbols as integers or
// as two bits each, binary mapping: ns per symbol.
void mapFrame(benchmark::State& state, bool bits) {
  constexpr int32_t kBitsPerSymbol = 2;
  FrameRecord frame(kToneCount, 8, kSymbolsPerFrame, true, false, bits);
  const std::vector<int32_t> symbols = frameSymbols();
  for (std::size_t s = 0; s < symbols.size(); ++s) {
    if (!bits) {
      frame.input()[s] = symbols[s];
      continue;
    }
    for (int32_t bit = 0; bit < kBitsPerSymbol; ++bit) {
      const auto shift = static_cast<uint32_t>(kBitsPerSymbol - 1 - bit);
      frame.input()[s * kBitsPerSymbol + static_cast<std::size_t>(bit)] =
          static_cast<double>((static_cast<uint32_t>(symbols[s]) >> shift) & 1U);
    }
  }
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    mapInputToSymbols(frame.record());
    benchmark::ClobberMemory();
  }
  if (!frame.ok()) {
    state.SkipWithError("the block reported an error");
  }
  countSamples(state, kSymbolsPerFrame);
}

void blockMapping(benchmark::State& state) {
  mapFrame(state, false);
}
void blockMappingBits(benchmark::State& state) {
  mapFrame(state, true);
}

BENCHMARK(blockMapping)->Name("blockMapping/M:4");
BENCHMARK(blockMappingBits)->Name("blockMappingBits/M:4");

// Many tones, one sample per symbol, discontinuous: the per-symbol advance of all M
// oscillators dominates. Reports ns per symbol.
void blockManyTones(benchmark::State& state) {
  const auto mAryNumber = static_cast<int32_t>(state.range(0));
  FrameRecord frame(mAryNumber, 1, kSymbolsPerFrame, false);
  std::mt19937 random(5);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same input every run
  std::uniform_int_distribution<int32_t> tone(0, mAryNumber - 1);
  for (double& value : frame.input()) {
    value = tone(random);
  }
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    mdlComputeOutputs(frame.record(), 0);
    benchmark::ClobberMemory();
  }
  if (!frame.ok()) {
    state.SkipWithError("the block reported an error");
  }
  countSamples(state, kSymbolsPerFrame);  // one sample per symbol
}

BENCHMARK(blockManyTones)->ArgNames({"M"})->Arg(4096);

// Sample-based operation, M = 4, N = 8, continuous: one output step per call, a new symbol at
// every Nth. Reports ns per output step.
void blockSampleStep(benchmark::State& state) {
  constexpr int32_t kSamplesPerSymbol = 8;
  FrameRecord frame(kToneCount, kSamplesPerSymbol, 1, true, true);
  const std::vector<int32_t> symbols = frameSymbols();
  // Hits by task, as the engine assigns them: the output's port on task 0, the input's on 1.
  const std::array<int32_t, 2> inputAndOutput{1, 1};
  const std::array<int32_t, 2> outputOnly{1, 0};
  std::size_t symbol = 0;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    for (int32_t step = 0; step < kSamplesPerSymbol; ++step) {
      if (step == 0) {
        frame.input()[0] = symbols[symbol];
        symbol = (symbol + 1) % symbols.size();
        frame.host().setHits(inputAndOutput);
      } else if (step == 1) {
        frame.host().setHits(outputOnly);
      }
      mdlComputeOutputs(frame.record(), 0);
    }
    benchmark::ClobberMemory();
  }
  if (!frame.ok()) {
    state.SkipWithError("the block reported an error");
  }
  countSamples(state, kSamplesPerSymbol);
}

BENCHMARK(blockSampleStep);

}  // namespace
}  // namespace quenvarith::bench
