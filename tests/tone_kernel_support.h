// The synthesis kernels driven one at a time, and the straightforward loops they are held to.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

#include "block/tone_generation.h"
#include "block/tone_kernel/kernel_table.h"
#include "block/tone_kernel/tone_synthesizer.h"

namespace quenvarith::testing {

// One symbol through `kernel` alone: `count` (cos, sin) pairs of the phases start, start + step,
// ... into `samples`; returns the phase after `count` additions.
inline double synthesizeToneWith(const ToneKernel& kernel, double startPhase, double step,
                                 int32_t count, double* samples) {
  ToneSynthesizer synthesizer(kernel, samples);
  const double endPhase = synthesizer.addSymbol(startPhase, step, count);
  synthesizer.finish();
  return endPhase;
}

// The straightforward loop: std::cos and std::sin of each sum.
inline double synthesizeToneStraightforward(double startPhase, double step, int32_t count,
                                            double* samples) {
  double phase = startPhase;
  for (int32_t j = 0; j < count; ++j) {
    *samples++ = std::cos(phase);
    *samples++ = std::sin(phase);
    phase += step;
  }
  return phase;
}

// The tone advance through `kernel`, for as many tones as both spans hold.
inline void advanceTonesWith(const ToneKernel& kernel, std::span<double> tonePhase,
                             std::span<const double> phaseStep, int32_t n) {
  kernel.advanceTones(tonePhase.data(), phaseStep.data(),
                      std::min(tonePhase.size(), phaseStep.size()), n);
}

// The tone advance spelled out: x = n * step + phase, less 2*pi once when x >= 2*pi.
inline void advanceTonesStraightforward(std::span<double> tonePhase,
                                        std::span<const double> phaseStep, int32_t n) {
  for (std::size_t t = 0; t < std::min(tonePhase.size(), phaseStep.size()); ++t) {
    double x = n * phaseStep[t] + tonePhase[t];
    if (x >= kTwoPi) {
      x -= kTwoPi;
    }
    tonePhase[t] = x;
  }
}

}  // namespace quenvarith::testing
