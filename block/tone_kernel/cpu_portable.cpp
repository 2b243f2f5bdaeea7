// A build without vector kernels (no SLEEF, or not x86-64): only the plain kernel runs, and the
// vector dispatch, never reached, falls back to it.
#include <span>

#include "block/tone_kernel/kernels.h"

namespace quenvarith::detail {

uint32_t detectToneKernels() {
  return 0;
}

ToneStreamKernel vectorStreamKernel(ToneKernel /*kernel*/) {
  return {appendPhasesPlain, appendFramePlain, flushPhasesPlain};
}

void advanceTonePhasesVector(ToneKernel /*kernel*/, double* tonePhase, const double* phaseStep,
                             std::size_t toneCount, int32_t n) {
  advanceTonePhasesPlain(std::span(tonePhase, toneCount), std::span(phaseStep, toneCount), n);
}

}  // namespace quenvarith::detail
