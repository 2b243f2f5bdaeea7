// The vector kernels behind ToneSynthesizer and advanceTonePhases. Each instruction set has its
// own file, compiled for that instruction set alone; they are called only once the processor is
// known to run them. These declarations use plain pointers and no inline code, so that nothing
// compiled for a wider instruction set can leak into code that runs everywhere (the header
// below only contributes an enumeration and a class declaration).
#pragma once

#include <cstddef>
#include <cstdint>

#include "block/tone_kernel.h"

namespace quenvarith::detail {

// One bit per ToneKernel value: the kernels this build carries and this processor runs. Plain
// is always among them. Asks the processor each time it is called (slow under a hypervisor),
// so callers keep the answer.
uint32_t detectToneKernels();

// std::cos and std::sin of `count` phases, interleaved into 2 * count doubles.
void sincosPartialPlain(const double* phases, int32_t count, double* samples);

// (cos, sin) of 8 phases, interleaved into 16 doubles; and of the first `count` (0 to 8) of
// them into 2 * count doubles. `kernel` is avx2 or avx512.
void sincosBlockVector(ToneKernel kernel, const double* phases, double* samples);
void sincosPartialVector(ToneKernel kernel, const double* phases, int32_t count, double* samples);
void advanceTonePhasesVector(ToneKernel kernel, double* tonePhase, const double* phaseStep,
                             std::size_t toneCount, int32_t n);

void sincosBlockAvx2(const double* phases, double* samples);
void sincosPartialAvx2(const double* phases, int32_t count, double* samples);
void advanceTonePhasesAvx2(double* tonePhase, const double* phaseStep, std::size_t toneCount,
                           double n);

void sincosBlockAvx512(const double* phases, double* samples);
void sincosPartialAvx512(const double* phases, int32_t count, double* samples);
void advanceTonePhasesAvx512(double* tonePhase, const double* phaseStep, std::size_t toneCount,
                             double n);

}  // namespace quenvarith::detail
