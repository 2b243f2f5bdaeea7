// The vector kernels behind ToneSynthesizer and advanceTonePhases. Each instruction set has its
// own file, compiled for that instruction set alone; they are called only once the processor is
// known to run them. These declarations use plain pointers and no inline code, so that nothing
// compiled for a wider instruction set can leak into code that runs everywhere (the header
// below only contributes an enumeration and a class declaration).
#pragma once

#include <cstddef>
#include <cstdint>

#include "block/tone_kernel/tone_synthesizer.h"

namespace quenvarith::detail {

// One bit per ToneKernel value: the kernels this build carries and this processor runs. Plain
// is always among them. Asks the processor each time it is called (slow under a hypervisor),
// so callers keep the answer.
uint32_t detectToneKernels();

// ToneSynthesizer::addSymbol, addFrame and finish for each kernel (see tone_kernel_stream.h).
double appendPhasesPlain(ToneSynthesisState& state, double phase, double step, int32_t count);
double appendFramePlain(ToneSynthesisState& state, const ToneFrame& frame, double phase);
void flushPhasesPlain(ToneSynthesisState& state);
double appendPhasesAvx2(ToneSynthesisState& state, double phase, double step, int32_t count);
double appendFrameAvx2(ToneSynthesisState& state, const ToneFrame& frame, double phase);
void flushPhasesAvx2(ToneSynthesisState& state);
double appendPhasesAvx512(ToneSynthesisState& state, double phase, double step, int32_t count);
double appendFrameAvx512(ToneSynthesisState& state, const ToneFrame& frame, double phase);
void flushPhasesAvx512(ToneSynthesisState& state);
double appendPhasesAvx512Poly(ToneSynthesisState& state, double phase, double step, int32_t count);
double appendFrameAvx512Poly(ToneSynthesisState& state, const ToneFrame& frame, double phase);
void flushPhasesAvx512Poly(ToneSynthesisState& state);
// The three for the vector kernel `kernel` (avx2, avx512 or avx512Poly).
struct ToneStreamKernel {
  double (*append)(ToneSynthesisState& state, double phase, double step, int32_t count);
  double (*appendFrame)(ToneSynthesisState& state, const ToneFrame& frame, double phase);
  void (*flush)(ToneSynthesisState& state);
};
ToneStreamKernel vectorStreamKernel(ToneKernel kernel);

// The tone advance, x = n * phaseStep[t] + tonePhase[t], less 2*pi once when x >= 2*pi.
void advanceTonePhasesScalar(double* tonePhase, const double* phaseStep, std::size_t toneCount,
                             double n);
void advanceTonePhasesAvx2(double* tonePhase, const double* phaseStep, std::size_t toneCount,
                           double n);
void advanceTonePhasesAvx512(double* tonePhase, const double* phaseStep, std::size_t toneCount,
                             double n);
void advanceTonePhasesVector(ToneKernel kernel, double* tonePhase, const double* phaseStep,
                             std::size_t toneCount, int32_t n);

}  // namespace quenvarith::detail
