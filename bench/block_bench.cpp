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
#include "block/tone_generation.h"
#include "block/work_vectors.h"
#include "host/host_block.h"

namespace quenvarith::bench {
namespace {

// A frame-based record: integer input of `symbols` elements with a frame period of `symbols`
// seconds (T = 1 s) and frequency separation 1 Hz, so tone i steps by (2i - M + 1) * pi / N.
class FrameRecord {
 public:
  FrameRecord(int32_t mAryNumber, int32_t samplesPerSymbol, int32_t symbols, bool continuous) {
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
    host_.setInputFrameFlag(DXP_FRAME_YES);
    DxpOutputPort& output = host_.outputPort();
    output.width = symbols * samplesPerSymbol;
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
    for (std::size_t i = 0; i < vectors.size(); ++i) record->workVectors[i] = vectors[i];
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
  for (std::size_t s = 0; s < symbols.size(); ++s) frame.input()[s] = symbols[s];
  for (auto _ : state) {
    // Every frame starts from the same phases, so |phase| stays near its nominal size.
    frame.phase() = startPhase;
    for (std::size_t t = 0; t < frame.tonePhase().size(); ++t) {
      frame.tonePhase()[t] = startPhase + static_cast<double>(t);
    }
    mdlComputeOutputs(frame.record(), 0);
    benchmark::ClobberMemory();
  }
  if (!frame.ok()) state.SkipWithError("the block reported an error");
  countSamples(state, int64_t{kSymbolsPerFrame} * n);
}

BENCHMARK(blockFrame)
    ->ArgNames({kSamplesArg, kContinuityArg, kPhaseArg})
    ->ArgsProduct({{8, 64}, {1, 2}, {3, 9}});

// Many tones, one sample per symbol, discontinuous: the per-symbol advance of all M
// oscillators dominates. Reports ns per symbol.
void blockManyTones(benchmark::State& state) {
  const auto mAryNumber = static_cast<int32_t>(state.range(0));
  FrameRecord frame(mAryNumber, 1, kSymbolsPerFrame, false);
  std::mt19937 random(5);
  std::uniform_int_distribution<int32_t> tone(0, mAryNumber - 1);
  for (double& value : frame.input()) value = tone(random);
  for (auto _ : state) {
    mdlComputeOutputs(frame.record(), 0);
    benchmark::ClobberMemory();
  }
  if (!frame.ok()) state.SkipWithError("the block reported an error");
  countSamples(state, kSymbolsPerFrame);  // one sample per symbol
}

BENCHMARK(blockManyTones)->ArgNames({"M"})->Arg(4096);

}  // namespace
}  // namespace quenvarith::bench
