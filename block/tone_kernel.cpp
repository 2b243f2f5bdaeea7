#include "block/tone_kernel.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "block/tone_generation.h"
#include "block/tone_kernel_vector.h"

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

void sincosPartialPlain(const double* phases, int32_t count, double* samples) {
  for (int32_t j = 0; j < count; ++j) {
    samples[2 * j] = std::cos(phases[j]);
    samples[2 * j + 1] = std::sin(phases[j]);
  }
}

}  // namespace detail

double synthesizeTonePlain(double startPhase, double step, int32_t count, double* samples) {
  double phase = startPhase;
  for (int32_t j = 0; j < count; ++j) {
    samples[2 * j] = std::cos(phase);
    samples[2 * j + 1] = std::sin(phase);
    phase += step;
  }
  return phase;
}

void advanceTonePhasesPlain(std::span<double> tonePhase, std::span<const double> phaseStep,
                            int32_t n) {
  const double samplesPerSymbol = n;
  const std::size_t toneCount = std::min(tonePhase.size(), phaseStep.size());
  for (std::size_t t = 0; t < toneCount; ++t) {
    double x = samplesPerSymbol * phaseStep[t] + tonePhase[t];
    if (x >= kTwoPi) x -= kTwoPi;
    tonePhase[t] = x;
  }
}

bool toneKernelAvailable(ToneKernel kernel) {
  return (runnableToneKernels() & kernelBit(kernel)) != 0;
}

ToneKernel fastestToneKernel() {
  const uint32_t runnable = runnableToneKernels();
  if ((runnable & kernelBit(ToneKernel::avx512)) != 0) return ToneKernel::avx512;
  if ((runnable & kernelBit(ToneKernel::avx2)) != 0) return ToneKernel::avx2;
  return ToneKernel::plain;
}

ToneSynthesizer::ToneSynthesizer(double* samples) : ToneSynthesizer(samples, fastestToneKernel()) {}

ToneSynthesizer::ToneSynthesizer(double* samples, ToneKernel kernel)
    : ring_{},
      samples_(samples),
      kernel_(toneKernelAvailable(kernel) ? kernel : ToneKernel::plain) {}

double ToneSynthesizer::addSymbol(double startPhase, double step, int32_t count) {
  double phase = startPhase;
  int32_t remaining = count;
  while (remaining > 0) {
    const int32_t take = std::min(remaining, kBlock - filledInBlock_);
    double* slot = ring_ + (completedBlocks_ % kRingBlocks) * kBlock + filledInBlock_;
    // The serial add chain: the phases are sums in this order, whatever computes the sines.
    for (int32_t j = 0; j < take; ++j) {
      slot[j] = phase;
      phase += step;
    }
    filledInBlock_ += take;
    remaining -= take;
    if (filledInBlock_ == kBlock) completeBlock();
  }
  return phase;
}

void ToneSynthesizer::completeBlock() {
  ++completedBlocks_;
  filledInBlock_ = 0;
  if (completedBlocks_ - emittedBlocks_ > kAhead) emitBlock();
}

void ToneSynthesizer::emitBlock() {
  const double* phases = ring_ + (emittedBlocks_ % kRingBlocks) * kBlock;
  double* out = samples_ + emittedBlocks_ * 2 * kBlock;
  if (kernel_ == ToneKernel::plain) {
    detail::sincosPartialPlain(phases, kBlock, out);
  } else {
    detail::sincosBlockVector(kernel_, phases, out);
  }
  ++emittedBlocks_;
}

void ToneSynthesizer::finish() {
  while (emittedBlocks_ < completedBlocks_) emitBlock();
  if (filledInBlock_ == 0) return;
  const double* phases = ring_ + (completedBlocks_ % kRingBlocks) * kBlock;
  double* out = samples_ + completedBlocks_ * 2 * kBlock;
  if (kernel_ == ToneKernel::plain) {
    detail::sincosPartialPlain(phases, filledInBlock_, out);
  } else {
    detail::sincosPartialVector(kernel_, phases, filledInBlock_, out);
  }
  // Whatever is added next goes on after the samples written so far, from a fresh block.
  samples_ = out + 2 * filledInBlock_;
  completedBlocks_ = 0;
  emittedBlocks_ = 0;
  filledInBlock_ = 0;
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
  advanceTonePhasesWith(fastestToneKernel(), tonePhase, phaseStep, n);
}

}  // namespace quenvarith
