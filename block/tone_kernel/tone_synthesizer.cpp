#include "block/tone_kernel/tone_synthesizer.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "block/tone_generation.h"
#include "block/tone_kernel/stream.h"
#include "block/tone_kernel/kernels.h"

namespace quenvarith {

namespace {

constexpr uint32_t kernelBit(ToneKernel kernel) {
  return uint32_t{1} << static_cast<uint32_t>(kernel);
}

// The processor is asked once, at the first call and never at load, and the answer is then a
// constant of the process.
uint32_t runnableToneKernels() {
  static const uint32_t runnable = detail::detectToneKernels() | kernelBit(ToneKernel::plain);
  return runnable;
}

// Below this many tones the vector tone advance does not pay for its set-up.
constexpr std::size_t kVectorToneAdvanceMinimum = 8;

}  // namespace

namespace detail {

namespace {

inline void emitPhasesPlain(const double* phases, int32_t count, double* samples, double* copy) {
  for (int32_t j = 0; j < count; ++j) {
    const double cosine = std::cos(phases[j]);
    const double sine = std::sin(phases[j]);
    *samples++ = cosine;
    *samples++ = sine;
    if (copy != nullptr) {
      *copy++ = cosine;
      *copy++ = sine;
    }
  }
}

}  // namespace

void advanceTonePhasesScalar(double* tonePhase, const double* phaseStep, std::size_t toneCount,
                             double n) {
  for (std::size_t t = 0; t < toneCount; ++t) {
    double x = n * phaseStep[t] + tonePhase[t];
    if (x >= kTwoPi) {
      x -= kTwoPi;
    }
    tonePhase[t] = x;
  }
}

double appendPhasesPlain(ToneSynthesisState& state, double phase, double step, int32_t count) {
  return appendPhases(state, phase, step, count, emitPhasesPlain);
}

double appendFramePlain(ToneSynthesisState& state, const ToneFrame& frame, double phase) {
  return appendFrame<ScalarChain, MemoryToneBank<advanceTonePhasesScalar>>(state, frame, phase,
                                                                           emitPhasesPlain);
}

void flushPhasesPlain(ToneSynthesisState& state) {
  flushPhases(state, emitPhasesPlain);
}

}  // namespace detail

double synthesizeTonePlain(double startPhase, double step, int32_t count, double* samples) {
  double phase = startPhase;
  for (int32_t j = 0; j < count; ++j) {
    *samples++ = std::cos(phase);
    *samples++ = std::sin(phase);
    phase += step;
  }
  return phase;
}

void advanceTonePhasesPlain(std::span<double> tonePhase, std::span<const double> phaseStep,
                            int32_t n) {
  detail::advanceTonePhasesScalar(tonePhase.data(), phaseStep.data(),
                                  std::min(tonePhase.size(), phaseStep.size()), n);
}

bool toneKernelAvailable(ToneKernel kernel) {
  return (runnableToneKernels() & kernelBit(kernel)) != 0;
}

ToneKernel fastestToneKernel() {
  const uint32_t runnable = runnableToneKernels();
  if ((runnable & kernelBit(ToneKernel::avx512Poly)) != 0) {
    return ToneKernel::avx512Poly;
  }
  if ((runnable & kernelBit(ToneKernel::avx512)) != 0) {
    return ToneKernel::avx512;
  }
  if ((runnable & kernelBit(ToneKernel::avx2)) != 0) {
    return ToneKernel::avx2;
  }
  return ToneKernel::plain;
}

ToneSynthesizer::ToneSynthesizer(double* samples, double* copy)
    : ToneSynthesizer(samples, fastestToneKernel(), copy) {}

// The ring is written before it is read, so it is left as it is: a sample-based run builds a
// synthesizer for every symbol.
// NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init,hicpp-member-init)
ToneSynthesizer::ToneSynthesizer(double* samples, ToneKernel kernel, double* copy)
    : append_(detail::appendPhasesPlain),
      appendFrame_(detail::appendFramePlain),
      flush_(detail::flushPhasesPlain) {
  state_.samples = samples;
  state_.copy = copy;
  state_.completedBlocks = 0;
  state_.emittedBlocks = 0;
  state_.filledInBlock = 0;
  if (kernel != ToneKernel::plain && toneKernelAvailable(kernel)) {
    const detail::ToneStreamKernel vector = detail::vectorStreamKernel(kernel);
    append_ = vector.append;
    appendFrame_ = vector.appendFrame;
    flush_ = vector.flush;
  }
}

double ToneSynthesizer::addSymbol(double startPhase, double step, int32_t count) {
  return append_(state_, startPhase, step, count);
}

double ToneSynthesizer::addFrame(const ToneFrame& frame, double phase) {
  return appendFrame_(state_, frame, phase);
}

void ToneSynthesizer::finish() {
  flush_(state_);
}

double synthesizeToneWith(ToneKernel kernel, double startPhase, double step, int32_t count,
                          double* samples) {
  ToneSynthesizer synthesizer(samples, kernel);
  const double endPhase = synthesizer.addSymbol(startPhase, step, count);
  synthesizer.finish();
  return endPhase;
}

void advanceTonePhasesWith(ToneKernel kernel, std::span<double> tonePhase,
                           std::span<const double> phaseStep, int32_t n) {
  const std::size_t toneCount = std::min(tonePhase.size(), phaseStep.size());
  if (kernel == ToneKernel::plain || toneCount < kVectorToneAdvanceMinimum ||
      !toneKernelAvailable(kernel)) {
    advanceTonePhasesPlain(tonePhase, phaseStep, n);
    return;
  }
  detail::advanceTonePhasesVector(kernel, tonePhase.data(), phaseStep.data(), toneCount, n);
}

double synthesizeTone(double startPhase, double step, int32_t count, double* samples) {
  return synthesizeToneWith(fastestToneKernel(), startPhase, step, count, samples);
}

void advanceTonePhases(std::span<double> tonePhase, std::span<const double> phaseStep, int32_t n) {
  // A few tones (the usual case) go straight to the plain loop.
  if (tonePhase.size() < kVectorToneAdvanceMinimum) {
    advanceTonePhasesPlain(tonePhase, phaseStep, n);
  } else {
    advanceTonePhasesWith(fastestToneKernel(), tonePhase, phaseStep, n);
  }
}

}  // namespace quenvarith
