// The block itself: frame-based mdlComputeOutputs on a record prepared the way a host leaves it
// after set-up, integer input, one frame of 1024 symbols per call.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "bench/bench_common.h"
#include "block/symbol_mapping.h"
#include "block/tone_generation.h"
#include "block/work_vectors.h"
#include "host/host_block.h"

namespace quenvarith::bench {
namespace {

// A prepared record with integer input and frequency separation 1 Hz. Frame-based: `symbols`
// elements per frame with a frame period of `symbols` seconds; sample-based: one symbol per
// input sample of 1 s. Either way T = 1 s, so tone i steps by (2i - M + 1) * pi / N.
class FrameRecord {
 public:
  FrameRecord(int32_t mAryNumber, int32_t samplesPerSymbol, int32_t symbols, bool continuous,
              bool sampleBased = false) {
    host::ParameterValues parameters;
    parameters.mAryNumber = mAryNumber;
    parameters.inputType = 2;
    parameters.frequencySeparation = 1.0;
    parameters.phaseContinuity = continuous ? 1 : 2;
    parameters.samplesPerSymbol = samplesPerSymbol;
    host_.setParameters(parameters);
    host_.createPorts(1, 1);
    DxpInputPort& input = host_.inputPort();
    input.width = symbols;
    input.numDims = 1;
    input.sampleTime = symbols;
    input.offset = 0.0;
    host_.setInputFrameFlag(sampleBased ? DXP_FRAME_NO : DXP_FRAME_YES);
    DxpOutputPort& output = host_.outputPort();
    output.width = sampleBased ? 1 : symbols * samplesPerSymbol;
    output.numDims = 1;
    output.complexity = DXP_COMPLEX;

    DxpBlockRecord* record = host_.record();
    record->numWorkVectors = kWorkVectorCount;
    const std::array<DxpWorkVector, kWorkVectorCount> vectors{{
        {symbols, DXP_TYPE_INT32, DXP_REAL, nullptr},
        {symbols * samplesPerSymbol, DXP_TYPE_DOUBLE, DXP_COMPLEX, nullptr},
        {1, DXP_TYPE_DOUBLE, DXP_REAL, nullptr},
        {mAryNumber, DXP_TYPE_DOUBLE, DXP_REAL, nullptr},
        {mAryNumber, DXP_TYPE_DOUBLE, DXP_REAL, nullptr},
        {1, DXP_TYPE_INT32, DXP_REAL, nullptr},
    }};
    for (std::size_t i = 0; i < vectors.size(); ++i) {
      record->workVectors[i] = vectors[i];
    }
    host_.setSampleTimeTasks({0, 1}, 2);
    const std::array<int32_t, 2> bothHit{1, 1};
    host_.setHits(bothHit);
    std::string message;
    if (!host_.allocateRunStorage(&message)) {
      ok_ = false;
      return;
    }
    mdlInitializeConditions(record);
  }

  bool ok() { return ok_ && dxpGetErrorStatus(host_.record()) == nullptr; }
  DxpBlockRecord* record() { return host_.record(); }
  host::HostBlock& host() { return host_; }
  std::span<double> input() { return host_.inputSignal(); }
  double& phase() { return host_.workVector<double>(static_cast<int>(WorkVector::Phase))[0]; }
  std::span<double> tonePhase() {
    return host_.workVector<double>(static_cast<int>(WorkVector::TonePhase));
  }

 private:
  host::HostBlock host_;
  bool ok_ = true;
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

// The input mapping alone on a frame of 1024 symbols, integer input (M = 4): ns per symbol.
void blockMapping(benchmark::State& state) {
  FrameRecord frame(kToneCount, 8, kSymbolsPerFrame, true);
  const std::vector<int32_t> symbols = frameSymbols();
  for (std::size_t s = 0; s < symbols.size(); ++s) {
    frame.input()[s] = symbols[s];
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

BENCHMARK(blockMapping)->Name("blockMapping/M:4");

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
  frame.host().setTimeStepKind(DXP_MAJOR_TIME_STEP);
  const std::vector<int32_t> symbols = frameSymbols();
  const std::array<int32_t, 2> inputAndOutput{1, 1};
  const std::array<int32_t, 2> outputOnly{0, 1};
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
