// The synthesis stream every kernel runs: the serial add chain into a ring of phase blocks, and
// the sine and cosine of each block once kAhead further blocks are complete. Instantiated in
// each kernel's own file with that kernel's `emit` (internal linkage), and written without
// library calls, so nothing compiled for a wider instruction set is shared with other files;
// the classes below are always inlined for the same reason.
#pragma once

#include <cstddef>
#include <cstdint>

#include "block/tone_kernel.h"

namespace quenvarith::detail {

using Stream = ToneSynthesisState;
static_assert((Stream::kRingBlocks & (Stream::kRingBlocks - 1)) == 0, "ring index by mask");

// A function as a type, so that the templates below see their callee even where the compiler
// does not propagate a function pointer (unoptimised and sanitizer builds), which an
// always-inline emitter needs.
template <auto Function>
struct Emitter {
  void operator()(const double* phases, int32_t count, double* samples, double* copy) const {
    Function(phases, count, samples, copy);
  }
};

// Emits `count` phases of block `block`, to the copy as well where the state asks for one.
template <typename Emit>
inline void emitBlock(Stream& state, const double* phases, int32_t count, int64_t block,
                      Emit emit) {
  // An offset within one allocated buffer, so it fits a pointer difference on every target.
  const auto offset = static_cast<std::ptrdiff_t>(block * 2 * Stream::kBlock);
  emit(phases, count, state.samples + offset,
       state.copy != nullptr ? state.copy + offset : nullptr);
}

// The serial add chain, one sum after another: the phases every kernel produces are these sums
// in this order.
class ScalarChain {
 public:
  [[gnu::always_inline]] ScalarChain(double phase, double step) : phase_(phase), step_(step) {}

  // Writes the next `count` (1 to kBlock) phases to `slot`.
  [[gnu::always_inline]] void fill(double* slot, int32_t count) {
    for (int32_t j = 0; j < count; ++j) {
      slot[j] = phase_;
      phase_ += step_;
    }
  }

  [[nodiscard, gnu::always_inline]] double phase() const { return phase_; }

 private:
  double phase_;
  double step_;
};

// `emit(phases, count, samples, copy)` writes the (cos, sin) pairs of `count` (at most kBlock)
// phases to `samples`, and to `copy` unless it is null. `Chain` produces the phases: the
// ScalarChain's sums, by whatever means.
template <typename Chain = ScalarChain, typename Emit>
inline double appendPhases(Stream& state, double phase, double step, int32_t count, Emit emit) {
  Chain chain(phase, step);
  while (count > 0) {
    const int32_t room = Stream::kBlock - state.filledInBlock;
    const int32_t take = count < room ? count : room;
    chain.fill(state.ring + (state.completedBlocks & (Stream::kRingBlocks - 1)) * Stream::kBlock +
                   state.filledInBlock,
               take);
    state.filledInBlock += take;
    count -= take;
    if (state.filledInBlock == Stream::kBlock) {
      ++state.completedBlocks;
      state.filledInBlock = 0;
      if (state.completedBlocks - state.emittedBlocks > Stream::kAhead) {
        emitBlock(state,
                  state.ring + (state.emittedBlocks & (Stream::kRingBlocks - 1)) * Stream::kBlock,
                  Stream::kBlock, state.emittedBlocks, emit);
        ++state.emittedBlocks;
      }
    }
  }
  return chain.phase();
}

// The tones' free-running phases where the frame keeps them, advanced by `Advance(tonePhase,
// phaseStep, toneCount, n)` (one of the advanceTonePhases kernels) after every symbol.
template <auto Advance>
class MemoryToneBank {
 public:
  [[gnu::always_inline]] explicit MemoryToneBank(const ToneFrame& frame) : frame_(frame) {}

  [[nodiscard, gnu::always_inline]] double phase(int32_t tone) const {
    return frame_.tonePhase[tone];
  }
  [[gnu::always_inline]] void advance() {
    // appendFrame runs no bank without tones.
    Advance(frame_.tonePhase, frame_.phaseStep, static_cast<std::size_t>(frame_.toneCount),
            static_cast<double>(frame_.samplesPerSymbol));
  }
  [[gnu::always_inline]] void store() {}

 private:
  const ToneFrame& frame_;
};

// The tone of `symbol`: a stored index outside the tones counts as tone 0, so that none can
// make a kernel read past the per-tone phases.
[[gnu::always_inline]] inline int32_t toneOfSymbol(const ToneFrame& frame, int32_t symbol) {
  const int32_t tone = frame.tones[symbol];
  return tone >= 0 && tone < frame.toneCount ? tone : 0;
}

// ToneSynthesizer::addFrame: each symbol through appendPhases, the tones advanced by `ToneBank`
// after each.
template <typename Chain, typename ToneBank, typename Emit>
inline double appendFrame(Stream& state, const ToneFrame& frame, double phase, Emit emit) {
  if (frame.toneCount <= 0) {
    return phase;
  }
  ToneBank tones(frame);
  for (int32_t symbol = 0; symbol < frame.symbolCount; ++symbol) {
    const int32_t tone = toneOfSymbol(frame, symbol);
    const double start = frame.continuous ? phase : tones.phase(tone);
    phase = appendPhases<Chain>(state, start, frame.phaseStep[tone], frame.samplesPerSymbol, emit);
    tones.advance();
  }
  tones.store();
  return phase;
}

template <typename Emit>
inline void flushPhases(Stream& state, Emit emit) {
  for (; state.emittedBlocks < state.completedBlocks; ++state.emittedBlocks) {
    emitBlock(state,
              state.ring + (state.emittedBlocks & (Stream::kRingBlocks - 1)) * Stream::kBlock,
              Stream::kBlock, state.emittedBlocks, emit);
  }
  if (state.filledInBlock > 0) {
    emitBlock(state,
              state.ring + (state.completedBlocks & (Stream::kRingBlocks - 1)) * Stream::kBlock,
              state.filledInBlock, state.completedBlocks, emit);
  }
  // Whatever is added next goes on after the samples written so far, from a fresh block.
  const auto written = static_cast<std::ptrdiff_t>(
      (state.completedBlocks * Stream::kBlock + state.filledInBlock) * 2);
  state.samples += written;
  if (state.copy != nullptr) {
    state.copy += written;
  }
  state.completedBlocks = 0;
  state.emittedBlocks = 0;
  state.filledInBlock = 0;
}

}  // namespace quenvarith::detail
