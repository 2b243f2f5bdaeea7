#include "block/tone_kernel/tone_synthesizer.h"

#include <atomic>

#include "block/tone_kernel/kernel_table.h"

namespace quenvarith {

namespace {

// `kernel`, or the plain one where this processor cannot run it.
const ToneKernel& runnableOrPlain(const ToneKernel& kernel) {
  return runsOnThisCpu(kernel) ? kernel : toneKernels().front();
}

// The kernel chosen, once the first call has chosen it; null before. A load on every step's
// synthesis, where a call and the registers its guard saves cost some fifteen instructions. It
// only ever goes from null to the kernel chosen, and the kernels are constants, so any thread
// may read it relaxed.
constinit std::atomic<const ToneKernel*> chosenKernel{nullptr};

// The choice, made exactly once however many threads ask first.
[[gnu::noinline, gnu::cold]] const ToneKernel& chooseOnce() {
  static const ToneKernel& chosen = requestedToneKernel();
  chosenKernel.store(&chosen, std::memory_order_relaxed);
  return chosen;
}

}  // namespace

const ToneKernel& selectedToneKernel() {
  const ToneKernel* chosen = chosenKernel.load(std::memory_order_relaxed);
  return chosen != nullptr ? *chosen : chooseOnce();
}

// The ring is written before it is read, so it is left as it is.
// NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init,hicpp-member-init)
ToneSynthesizer::ToneSynthesizer(const ToneKernel& kernel, double* samples, double* copy)
    : kernel_(&runnableOrPlain(kernel)) {
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

double synthesizeWholeFrame(const ToneFrame& frame, double phase, double* samples, double* copy) {
  return selectedToneKernel().appendWholeFrame(frame, phase, samples, copy);
}

double synthesizeWholeFrame(const ToneKernel& kernel, const ToneFrame& frame, double phase,
                            double* samples, double* copy) {
  return runnableOrPlain(kernel).appendWholeFrame(frame, phase, samples, copy);
}

}  // namespace quenvarith
