// The synthesis kernels as one ordered table, and the choice of the one this process uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "block/tone_kernel/cpu_features.h"
#include "block/tone_kernel/kernel_level.h"
#include "block/tone_kernel/tone_synthesizer.h"

namespace quenvarith {

// One kernel: ToneSynthesizer's operations and the tone advance, written for one level.
struct ToneKernel {
  KernelLevel level;
  CpuFeature needs;
  // ToneSynthesizer::addSymbol, addFrame and finish.
  double (*appendSymbol)(ToneSynthesisState& state, double phase, double step, int32_t count);
  double (*appendFrame)(ToneSynthesisState& state, const ToneFrame& frame, double phase);
  void (*flush)(ToneSynthesisState& state);
  // synthesizeWholeFrame: appendFrame and flush of a stream of its own, in one call.
  double (*appendWholeFrame)(const ToneFrame& frame, double phase, double* samples, double* copy);
  // For each tone: x = n * phaseStep + tonePhase, less 2*pi once when x >= 2*pi. The same bits
  // from every kernel.
  void (*advanceTones)(double* tonePhase, const double* phaseStep, std::size_t toneCount, double n);
};

// The kernels this build carries, from the narrowest level to the widest: plain first.
std::span<const ToneKernel> toneKernels();

// Whether this processor, and its operating system, run `kernel`.
bool runsOnThisCpu(const ToneKernel& kernel);

// The kernel of `level` if this build carries one.
const ToneKernel* findToneKernel(KernelLevel level);

// The kernel of the `requested` level where it is built and runs here, else the widest that
// runs.
const ToneKernel& chooseToneKernel(std::optional<KernelLevel> requested);

// chooseToneKernel of the level QUENVARITH_KERNEL names (none when it is unset or names no
// level), the variable read afresh. The choice behind selectedToneKernel (tone_synthesizer.h)
// calls it once.
const ToneKernel& requestedToneKernel();

}  // namespace quenvarith
