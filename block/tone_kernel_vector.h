// The vector kernels behind synthesizeTone and advanceTonePhases. Each instruction set has its
// own file, compiled for that instruction set alone; they are called only once the processor is
// known to run them. These declarations use plain pointers and no inline code, so that nothing
// compiled for a wider instruction set can leak into code that runs everywhere (the header
// below only contributes an enumeration).
#pragma once

#include <cstddef>
#include <cstdint>

#include "block/tone_kernel.h"

namespace quenvarith::detail {

// One bit per ToneKernel value: the kernels this build carries and this processor runs. Plain
// is always among them. Asks the processor each time it is called (slow under a hypervisor),
// so callers keep the answer.
uint32_t detectToneKernels();

// Dispatch to the vector kernel `kernel` (avx2 or avx512 only).
double synthesizeToneVector(ToneKernel kernel, double startPhase, double step, int32_t count,
                            double* samples);
void advanceTonePhasesVector(ToneKernel kernel, double* tonePhase, const double* phaseStep,
                             std::size_t toneCount, int32_t n);

double synthesizeToneAvx2(double startPhase, double step, int32_t count, double* samples);
void advanceTonePhasesAvx2(double* tonePhase, const double* phaseStep, std::size_t toneCount,
                           double n);

double synthesizeToneAvx512(double startPhase, double step, int32_t count, double* samples);
void advanceTonePhasesAvx512(double* tonePhase, const double* phaseStep, std::size_t toneCount,
                             double n);

}  // namespace quenvarith::detail
