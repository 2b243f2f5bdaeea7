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

#include "block/dimensions.h"
#include "block/parameters.h"
#include "block/setup.h"
#include "block/symbol_mapping.h"
#include "block/tone_generation.h"
#include "block/work_vectors.h"
#include "fuzz/fuzz_support.h"

namespace quenvarith::fuzz {
namespace {

// Keeps one execution's work vectors small; the block itself sets no such limit.
constexpr double kMaxWorkBytes = 64.0 * 1024 * 1024;
constexpr int32_t kMaxFrameRows = 512;
constexpr int kMaxSteps = 32;
constexpr double kMagnitudeTolerance = 1e-12;

template <typename T>
std::span<T> workVector(host::HostBlock& block, WorkVector which) {
  return block.workVector<T>(static_cast<int>(which));
}

bool fitsWorkLimit(const DxpBlockRecord* record) {
  double bytes = 0;
  for (int32_t i = 0; i < record->numWorkVectors; ++i) {
    const DxpWorkVector& vector = record->workVectors[i];
    bytes += static_cast<double>(vector.width) * (vector.complexity != 0 ? 16.0 : 8.0);
  }
  return bytes <= kMaxWorkBytes;
}

// Declares, propagates and sizes the block; false where a host would stop.
bool prepare(host::HostBlock& block, FuzzedDataProvider& data, DxpFrameFlag frame) {
  DxpBlockRecord* record = block.record();
  mdlDeclareSizes(record);
  if (dxpGetErrorStatus(record) != nullptr || block.inputPortCount() != 1) {
    return false;
  }
  block.setInputFrameFlag(frame);

  const int32_t mAry = parameterInteger(record, Parameter::MAryNumber);
  const bool bitInput = parameterInteger(record, Parameter::InputType) == 1;
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
  mdlSetInputPortDimensionInfo(record, 0, &offer);
  if (dxpGetErrorStatus(record) != nullptr) {
    return false;
  }

  mdlSetInputPortSampleTime(record, 0, data.ConsumeBool() ? consumeDouble(data) : 1.0, 0.0);
  if (dxpGetErrorStatus(record) != nullptr) {
    return false;
  }
  mdlDeclareSampleTimes(record);
  if (dxpGetErrorStatus(record) != nullptr) {
    return false;
  }
  mdlSetWorkWidths(record);
  if (dxpGetErrorStatus(record) != nullptr || !fitsWorkLimit(record)) {
    return false;
  }
  std::string message;
  if (!block.allocateRunStorage(&message)) {
    return false;
  }
  mdlInitializeConditions(record);
  return dxpGetErrorStatus(record) == nullptr;
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
  host::HostBlock block;
  const host::ScopeActivation activation(block.allocationScope());
  DxpBlockRecord* record = block.record();
  block.setParameterArrays(fuzz::consumeParameters(data));
  static constexpr std::array<DxpFrameFlag, 3> kFlags = {DXP_FRAME_NO, DXP_FRAME_YES,
                                                         DXP_FRAME_INHERITED};
  const DxpFrameFlag frame = kFlags[data.ConsumeIntegralInRange<size_t>(0, 2)];
  if (!fuzz::prepare(block, data, frame)) {
    return 0;
  }

  const int32_t mAry = parameterInteger(record, Parameter::MAryNumber);
  const int32_t samplesPerSymbol = parameterInteger(record, Parameter::SamplesPerSymbol);
  const bool bitInput = parameterInteger(record, Parameter::InputType) == 1;
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
