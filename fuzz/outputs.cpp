// mapInputToSymbols and mdlComputeOutputs with accepted parameters and any input values: a
// block declared, propagated and sized the way a host does it, then a run of steps with
// arbitrary input doubles, hits and time-step kinds. Every symbol index stays a valid tone,
// the sample counter stays inside the buffer, phases stay finite and every sample has
// magnitude 1.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "block/parameter_codes.h"
#include "block/parameters.h"
#include "block/symbol_mapping.h"
#include "block/tone_generation.h"
#include "block/work_vectors.h"
#include "engine/block_caller.h"
#include "entry/entry.h"
#include "fuzz/fuzz_support.h"

namespace quenvarith::fuzz {
namespace {

constexpr int32_t kMaxFrameRows = 512;
constexpr int kMaxSteps = 32;
constexpr double kMagnitudeTolerance = 1e-12;

template <typename T>
std::span<T> workVector(host::HostBlock& block, WorkVector which) {
  return block.workVector<T>(static_cast<int>(which));
}

// Declares, propagates and sizes the block as the engine does, through its block caller and
// the installed methods; false where a host would stop.
bool prepare(host::HostBlock& block, FuzzedDataProvider& data, DxpFrameFlag frame) {
  DxpBlockRecord* record = block.record();
  engine::BlockCaller caller(&dxpFunction, block, engine::Dispatch::Table);
  const bool setUp = caller.setUp();
  require(!caller.raised(), "a set-up call on a host record returns");
  if (!setUp || block.inputPortCount() != 1) {
    return false;
  }
  block.setInputFrameFlag(frame);

  const int32_t mAry = parameterInteger(record, Parameter::MAryNumber);
  const bool bitInput = parameterInteger(record, Parameter::InputType) == codeOf(InputType::Bit);
  const int32_t perSymbol = bitInput ? bitsPerSymbol(mAry) : 1;
  std::vector<int32_t> sizes;
  DxpDimsInfo offer{};
  if (frame == DXP_FRAME_NO) {
    // One symbol's values as a 1-D vector, the way a sample-based source offers them.
    sizes = {data.ConsumeIntegralInRange<uint8_t>(0, 15) == 0
                 ? data.ConsumeIntegralInRange<int32_t>(0, 8)
                 : perSymbol};
    offer = {sizes[0], 1, sizes.data(), 0};
  } else {
    const auto symbols = data.ConsumeIntegralInRange<int32_t>(0, 64);
    const auto rows = data.ConsumeIntegralInRange<uint8_t>(0, 15) == 0
                          ? data.ConsumeIntegralInRange<int32_t>(0, kMaxFrameRows)
                          : symbols * perSymbol;
    sizes = {rows, 1};
    offer = {rows, 2, sizes.data(), 0};
  }
  const double sampleTime = data.ConsumeBool() ? consumeDouble(data) : 1.0;
  if (!caller.setInputPortDimensionInfo(0, offer) ||
      !caller.setInputPortSampleTime(0, sampleTime, 0.0) || !caller.declareSampleTimes() ||
      !caller.setWorkWidths() || !withinWorkBudget(record)) {
    return false;
  }
  std::string message;
  if (!block.allocateRunStorage(&message)) {
    return false;
  }
  return caller.initializeConditions();
}

void fillInput(host::HostBlock& block, FuzzedDataProvider& data, int32_t mAry, bool bitInput) {
  for (double& value : block.inputSignal()) {
    const auto selector = data.ConsumeIntegralInRange<uint8_t>(0, 31);
    if (selector == 0) {
      value = consumeDouble(data);
    } else if (bitInput) {
      value = data.ConsumeBool() ? 1.0 : 0.0;
    } else {
      value = static_cast<double>(data.ConsumeIntegralInRange<int32_t>(0, mAry - 1));
    }
  }
}

bool allFinite(std::span<const double> values) {
  return std::ranges::all_of(values, [](double value) { return std::isfinite(value); });
}

void checkSamples(std::span<const double> samples) {
  for (size_t i = 0; i + 1 < samples.size(); i += 2) {
    const double magnitude = std::hypot(samples[i], samples[i + 1]);
    require(std::fabs(magnitude - 1.0) <= kMagnitudeTolerance, "every sample has magnitude 1");
  }
}

}  // namespace
}  // namespace quenvarith::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  using namespace quenvarith;
  FuzzedDataProvider data(bytes, size);
  fuzz::FuzzedHost fuzzedHost;
  host::HostBlock& block = fuzzedHost.block();
  DxpBlockRecord* record = fuzzedHost.record();
  block.setParameterArrays(fuzz::consumeParameters(data));
  const DxpFrameFlag frame = fuzz::consumeFrameFlag(data);
  if (!fuzz::prepare(block, data, frame)) {
    return 0;
  }

  const int32_t mAry = parameterInteger(record, Parameter::MAryNumber);
  const int32_t samplesPerSymbol = parameterInteger(record, Parameter::SamplesPerSymbol);
  const bool bitInput = parameterInteger(record, Parameter::InputType) == codeOf(InputType::Bit);
  const SymbolLayout layout = deriveSymbolLayout(record);
  const bool sampleBased = frame == DXP_FRAME_NO;
  // Sample-based: the output's rate is the base rate (task 0, every step), the input's task 1
  // has a hit at every N-th step, as the engine drives it.
  if (sampleBased) {
    block.setSampleTimeTasks({1, 0}, 2);
  }

  bool synthesised = false;
  const int steps = data.ConsumeIntegralInRange<int>(1, fuzz::kMaxSteps);
  for (int step = 0; step < steps && data.remaining_bytes() > 0; ++step) {
    fuzz::fillInput(block, data, mAry, bitInput);
    const bool regular = data.ConsumeIntegralInRange<uint8_t>(0, 7) != 0;
    const bool major = regular || data.ConsumeBool();
    block.setTimeStepKind(major ? DXP_MAJOR_TIME_STEP : 0);
    const bool inputHit = regular ? step % samplesPerSymbol == 0 : data.ConsumeBool();
    const bool outputHit = regular || data.ConsumeBool();
    const std::array<int32_t, 2> hits = {outputHit ? 1 : 0, inputHit ? 1 : 0};
    block.setHits(hits);
    mdlComputeOutputs(record, data.ConsumeIntegral<int32_t>());
    dxpSetErrorStatus(record, nullptr);  // a bad input value: reported, and the step completes

    for (const int32_t index : fuzz::workVector<int32_t>(block, WorkVector::SymbolIndices)
                                   .first(static_cast<size_t>(layout.symbolsPerFrame))) {
      fuzz::require(index >= 0 && index < mAry, "a symbol index is a tone of the block");
    }
    if (sampleBased) {
      const int32_t counter = fuzz::workVector<int32_t>(block, WorkVector::SampleCounter)[0];
      fuzz::require(counter >= 0 && counter < samplesPerSymbol,
                    "the sample counter stays inside the buffer");
    }
    synthesised = synthesised || !sampleBased || (major && inputHit);
    const bool finitePhases =
        fuzz::allFinite(fuzz::workVector<double>(block, WorkVector::Phase)) &&
        fuzz::allFinite(fuzz::workVector<double>(block, WorkVector::TonePhase)) &&
        fuzz::allFinite(fuzz::workVector<double>(block, WorkVector::PhaseStep));
    if (layout.symbolsPerFrame <= 0) {
      continue;
    }
    // Accepted initial conditions keep every phase of a run finite, so no sample is NaN.
    fuzz::require(finitePhases, "phases stay finite");
    if (!sampleBased) {
      fuzz::checkSamples(block.outputSignal());
    } else if (synthesised) {
      fuzz::checkSamples(fuzz::workVector<double>(block, WorkVector::SampleBuffer));
      if (major && outputHit) {
        fuzz::checkSamples(block.outputSignal());
      }
    }
  }
  return 0;
}
