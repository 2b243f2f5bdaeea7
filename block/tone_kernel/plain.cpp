// The plain kernel: std::cos and std::sin per sample, the serial add chain and the tone advance
// one tone at a time. It runs everywhere, and it is the reference every vector kernel's phases
// are held to bit for bit.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "block/tone_generation.h"
#include "block/tone_kernel/kernels.h"
#include "block/tone_kernel/stream.h"

namespace quenvarith::tone_kernel::plain {

namespace {

inline void emitPhases(const double* phases, int32_t count, double* samples, double* copy) {
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

double appendSymbol(ToneSynthesisState& state, double phase, double step, int32_t count) {
  return synthesizeSymbol(state, phase, step, count, emitPhases);
}

double appendFrame(ToneSynthesisState& state, const ToneFrame& frame, double phase) {
  return synthesizeFrame<ScalarChain, MemoryToneBank<advanceTones>>(state, frame, phase,
                                                                    emitPhases);
}

void flush(ToneSynthesisState& state) {
  flushStream(state, emitPhases);
}

double appendWholeFrame(const ToneFrame& frame, double phase, double* samples, double* copy) {
  return synthesizeFrameAtOnce<ScalarChain, MemoryToneBank<advanceTones>>(frame, phase, samples,
                                                                          copy, emitPhases);
}

void advanceTones(double* tonePhase, const double* phaseStep, std::size_t toneCount, double n) {
  for (std::size_t t = 0; t < toneCount; ++t) {
    double x = n * phaseStep[t] + tonePhase[t];
    if (x >= kTwoPi) {
      x -= kTwoPi;
    }
    tonePhase[t] = x;
  }
}

}  // namespace quenvarith::tone_kernel::plain
