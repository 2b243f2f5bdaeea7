#include "block/tone_kernel/tone_synthesizer.h"

#include "block/tone_kernel/kernel_table.h"

namespace quenvarith {

// The selected kernel is known to run here.
ToneSynthesizer::ToneSynthesizer(double* samples, double* copy)
    : ToneSynthesizer(&selectedToneKernel(), samples, copy) {}

ToneSynthesizer::ToneSynthesizer(const ToneKernel& kernel, double* samples, double* copy)
    : ToneSynthesizer(runsOnThisCpu(kernel) ? &kernel : &toneKernels().front(), samples, copy) {}

// The ring is written before it is read, so it is left as it is: a sample-based run builds a
// synthesizer for every symbol.
// NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init,hicpp-member-init)
ToneSynthesizer::ToneSynthesizer(const ToneKernel* runnableKernel, double* samples, double* copy)
    : kernel_(runnableKernel) {
  state_.samples = samples;
  state_.copy = copy;
  state_.completedBlocks = 0;
  state_.emittedBlocks = 0;
  state_.filledInBlock = 0;
}

double ToneSynthesizer::addSymbol(double startPhase, double step, int32_t count) {
  return kernel_->appendSymbol(state_, startPhase, step, count);
}

double ToneSynthesizer::addFrame(const ToneFrame& frame, double phase) {
  return kernel_->appendFrame(state_, frame, phase);
}

void ToneSynthesizer::finish() {
  kernel_->flush(state_);
}

}  // namespace quenvarith
