#include "block/tone_generation.h"

#include <cmath>
#include <cstddef>

#include "block/parameters.h"
#include "block/symbol_mapping.h"
#include "block/tone_kernel/tone_synthesizer.h"
#include "block/work_vectors.h"

namespace quenvarith {

namespace {

constexpr const char* kInvalidOption = "Invalid option.";
constexpr const char* kPhaseStepOutOfRange =
    "The frequency separation and the symbol period give a phase step beyond the range of a "
    "double.";
constexpr const char* kSizesChanged =
    "The parameters no longer match the work vectors declared for this run.";
// The largest phase step that no run of fewer than 2^64 samples can carry past the largest
// double: the running phase is never reduced, and an infinite one makes every sample NaN.
constexpr double kMaxPhaseStep = 1.7976931348623157e308 / 18446744073709551616.0;

template <typename T>
T* workData(DxpBlockRecord* record, WorkVector vector) {
  return static_cast<T*>(record->workVectors[static_cast<int32_t>(vector)].data);
}

// Everything one output step works with, from the record and the parameters as this call read them.
struct Synthesis {
  int32_t mAryNumber;
  int32_t samplesPerSymbol;
  int32_t symbolsPerFrame;
  const int32_t* symbolIndices;
  double* sampleBuffer;  // interleaved (real, imaginary)
  double* phase;
  const double* phaseStep;
  double* tonePhase;
};

// The parameters one step works with, each read once per call, and the input's layout under
// them.
struct StepParameters {
  MappingParameters mapping;
  int32_t phaseContinuity;
  int32_t samplesPerSymbol;
  SymbolLayout layout;
};

// Inlined with readSynthesis, for the reason readMappingParameters is.
[[gnu::always_inline]] inline StepParameters readStepParameters(const DxpBlockRecord* record) {
  const MappingParameters mapping = readMappingParameters(record);
  return {mapping, parameterInteger(record, Parameter::PhaseContinuity),
          parameterInteger(record, Parameter::SamplesPerSymbol),
          symbolLayout(mapping, record->inputPorts[0].width)};
}

[[gnu::always_inline]] inline Synthesis readSynthesis(DxpBlockRecord* record,
                                                      const StepParameters& parameters) {
  const int32_t mAryNumber = parameters.mapping.mAryNumber;
  return {mAryNumber,
          parameters.samplesPerSymbol,
          parameters.layout.symbolsPerFrame,
          workData<int32_t>(record, WorkVector::SymbolIndices),
          workData<double>(record, WorkVector::SampleBuffer),
          workData<double>(record, WorkVector::Phase),
          workData<double>(record, WorkVector::PhaseStep),
          workData<double>(record, WorkVector::TonePhase)};
}

// N samples for every symbol of the frame: what the sample buffer holds.
int64_t frameSamples(const Synthesis& synthesis) {
  return static_cast<int64_t>(synthesis.symbolsPerFrame) * synthesis.samplesPerSymbol;
}

// The entries a work vector can hold. A host may hand a null pointer for a vector declared 0
// wide; that holds nothing, which fits exactly the frames that need nothing from it.
int32_t declaredWidth(const DxpBlockRecord* record, WorkVector vector) {
  const DxpWorkVector& declared = record->workVectors[static_cast<int32_t>(vector)];
  return declared.data != nullptr ? declared.width : 0;
}

// Parameters are read afresh at every call, so one changed since the work vectors and ports were
// sized would make a step write past them. True when everything a synthesis touches is in
// bounds, `outputSamples` of the output port included. Inline: every input step checks it.
[[gnu::always_inline]] inline bool fitsDeclaredStorage(const DxpBlockRecord* record,
                                                       const Synthesis& synthesis,
                                                       int64_t outputSamples) {
  return declaredWidth(record, WorkVector::SymbolIndices) >= synthesis.symbolsPerFrame &&
         declaredWidth(record, WorkVector::SampleBuffer) >= frameSamples(synthesis) &&
         declaredWidth(record, WorkVector::Phase) >= 1 &&
         declaredWidth(record, WorkVector::PhaseStep) >= synthesis.mAryNumber &&
         declaredWidth(record, WorkVector::TonePhase) >= synthesis.mAryNumber &&
         declaredWidth(record, WorkVector::SampleCounter) >= 1 &&
         record->outputPorts[0].width >= outputSamples;
}

// The samples the buffer holds, N for every symbol of the frame, from the parameters as they
// stand: an output step between input hits reads no more than this. M matters only to bit
// input, where it sets the bits per symbol.
int64_t bufferedSampleCount(const DxpBlockRecord* record) {
  const int32_t inputType = parameterInteger(record, Parameter::InputType);
  const int32_t k = inputType == codeOf(InputType::Integer)
                        ? 0
                        : bitsPerSymbol(parameterInteger(record, Parameter::MAryNumber));
  return static_cast<int64_t>(symbolsPerFrame(inputType, record->inputPorts[0].width, k)) *
         parameterInteger(record, Parameter::SamplesPerSymbol);
}

// The first `symbols` symbols of the frame as the synthesis kernel takes them.
ToneFrame toneFrame(const Synthesis& synthesis, int32_t symbols, bool continuous) {
  return {synthesis.symbolIndices,
          symbols,
          synthesis.phaseStep,
          synthesis.tonePhase,
          synthesis.mAryNumber,
          synthesis.samplesPerSymbol,
          continuous};
}

bool isKnownContinuity(int32_t continuity) {
  return continuity == codeOf(PhaseContinuity::Continuous) ||
         continuity == codeOf(PhaseContinuity::Discontinuous);
}

bool hasSymbols(const Synthesis& synthesis) {
  return synthesis.symbolsPerFrame > 0 && synthesis.mAryNumber > 0;
}

// What an input step synthesises: the whole frame, to the buffer and the output port at once;
// or, sample-based, the one symbol of the input sample, to the buffer for the next N output
// steps.
enum class InputStep { Frame, Sample };

// The input step: parameters read once, the storage checked against them, the input mapped and
// the symbols synthesised. False when the step must end here: the storage no longer fits the
// parameters, or the continuity is unknown ("Invalid option."). One function for both steps,
// compiled for each; kept out of line, so that the sample-based output steps between input hits
// do not set up the synthesizer's frame.
template <InputStep Step>
[[gnu::noinline]] bool synthesizeInput(DxpBlockRecord* record) {
  constexpr bool frame = Step == InputStep::Frame;
  const StepParameters parameters = readStepParameters(record);
  const Synthesis synthesis = readSynthesis(record, parameters);
  if (!fitsDeclaredStorage(record, synthesis, frame ? frameSamples(synthesis) : 1)) {
    dxpSetErrorStatus(record, kSizesChanged);
    return false;
  }
  // A mapping failure is the host's to act on; the step goes on.
  mapInputToSymbols(record, parameters.mapping, parameters.layout);
  const int32_t continuity = parameters.phaseContinuity;
  if (!isKnownContinuity(continuity)) {
    dxpSetErrorStatus(record, kInvalidOption);
    return false;
  }
  if (hasSymbols(synthesis)) {
    const bool continuous = continuity == codeOf(PhaseContinuity::Continuous);
    const int32_t symbols = frame ? synthesis.symbolsPerFrame : 1;
    *synthesis.phase = synthesizeWholeFrame(toneFrame(synthesis, symbols, continuous),
                                            *synthesis.phase, synthesis.sampleBuffer,
                                            frame ? record->outputPorts[0].signal : nullptr);
  }
  return true;
}

// The output step: the next buffered sample to the port. Touches the sample buffer, the
// counter and the port's one sample, and checks just those.
void emitBufferedSample(DxpBlockRecord* record) {
  const int64_t bufferedSamples = bufferedSampleCount(record);
  if (bufferedSamples <= 0) {
    return;
  }
  if (declaredWidth(record, WorkVector::SampleBuffer) < bufferedSamples ||
      declaredWidth(record, WorkVector::SampleCounter) < 1 || record->outputPorts[0].width < 1) {
    dxpSetErrorStatus(record, kSizesChanged);
    return;
  }
  auto* sampleCounter = workData<int32_t>(record, WorkVector::SampleCounter);
  // The counter lives in host storage; one out of range restarts the walk at the buffer's
  // start instead of reading past it.
  if (*sampleCounter < 0 || *sampleCounter >= bufferedSamples) {
    *sampleCounter = 0;
  }
  const double* sample = workData<double>(record, WorkVector::SampleBuffer) +
                         2 * static_cast<ptrdiff_t>(*sampleCounter);
  double* output = record->outputPorts[0].signal;
  output[0] = sample[0];
  output[1] = sample[1];
  *sampleCounter += 1;
  if (*sampleCounter == bufferedSamples) {
    *sampleCounter = 0;
  }
}

// A new symbol on an input hit, one buffered sample out on an output hit; a minor step does
// nothing. Out of line, so that a frame-based step does not save the registers this uses.
[[gnu::noinline]] void computeSample(DxpBlockRecord* record) {
  if (record->simInfo->timeStepKind != DXP_MAJOR_TIME_STEP) {
    return;
  }
  if (dxpPortHasHit(record, record->inputPorts[0].sampleTimeIndex) != 0 &&
      !synthesizeInput<InputStep::Sample>(record)) {
    return;
  }
  if (dxpPortHasHit(record, record->outputPorts[0].sampleTimeIndex) != 0) {
    emitBufferedSample(record);
  }
}

}  // namespace

void mdlInitializeConditions(DxpBlockRecord* record) {
  const int32_t samplesPerSymbol = parameterInteger(record, Parameter::SamplesPerSymbol);
  const int32_t mAryNumber = parameterInteger(record, Parameter::MAryNumber);
  const double frequencySeparation = parameterValue(record, Parameter::FrequencySeparation);
  const DxpInputPort& input = record->inputPorts[0];
  const SymbolLayout layout = deriveSymbolLayout(record);

  double symbolPeriod = input.sampleTime;  // sample-based: one symbol per input sample
  if (dxpInputFrameFlag(&input) != DXP_FRAME_NO) {
    const double elementPeriod = input.sampleTime / static_cast<double>(input.width);
    symbolPeriod = parameterInteger(record, Parameter::InputType) == codeOf(InputType::Integer)
                       ? elementPeriod
                       : static_cast<double>(layout.bitsPerSymbol) * elementPeriod;
  }

  if (declaredWidth(record, WorkVector::PhaseStep) < mAryNumber ||
      declaredWidth(record, WorkVector::TonePhase) < mAryNumber ||
      declaredWidth(record, WorkVector::Phase) < 1 ||
      declaredWidth(record, WorkVector::SampleCounter) < 1) {
    dxpSetErrorStatus(record, kSizesChanged);
    return;
  }
  auto* phaseStep = workData<double>(record, WorkVector::PhaseStep);
  auto* tonePhase = workData<double>(record, WorkVector::TonePhase);
  const auto mAsDouble = static_cast<double>(mAryNumber);
  const auto nAsDouble = static_cast<double>(samplesPerSymbol);
  for (int32_t tone = 0; tone < mAryNumber; ++tone) {
    // 2π × (tone frequency) × (T / N), in this order so that every build gets the same bits.
    const auto twiceTone = static_cast<double>(2 * static_cast<int64_t>(tone));
    phaseStep[tone] =
        ((((twiceTone - mAsDouble) + 1.0) * symbolPeriod) * frequencySeparation) * kPi / nAsDouble;
    tonePhase[tone] = 0.0;
  }
  *workData<double>(record, WorkVector::Phase) = 0.0;
  *workData<int32_t>(record, WorkVector::SampleCounter) = 0;

  // A separation and a period each within range can still make a product beyond it; the run
  // would then write NaN for every sample. An empty frame synthesises nothing and is let be.
  if (layout.symbolsPerFrame <= 0) {
    return;
  }
  for (int32_t tone = 0; tone < mAryNumber; ++tone) {
    if (!(std::fabs(phaseStep[tone]) <= kMaxPhaseStep)) {  // NaN fails too
      dxpSetErrorStatus(record, kPhaseStepOutOfRange);
      return;
    }
  }
}

void mdlComputeOutputs(DxpBlockRecord* record, int32_t /*taskId*/) {
  if (dxpInputFrameFlag(&record->inputPorts[0]) == DXP_FRAME_NO) {
    computeSample(record);
  } else {
    (void)synthesizeInput<InputStep::Frame>(record);  // one input frame in, one output out
  }
}

void mdlFinish(DxpBlockRecord* /*record*/) {}

}  // namespace quenvarith
