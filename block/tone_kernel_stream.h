// The synthesis stream every kernel runs: the serial add chain into a ring of phase blocks, and
// the sine and cosine of each block once kAhead further blocks are complete. Instantiated in
// each kernel's own file with that kernel's `emit` (internal linkage), and written without
// library calls, so nothing compiled for a wider instruction set is shared with other files.
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

// `emit(phases, count, samples, copy)` writes the (cos, sin) pairs of `count` (at most kBlock)
// phases to `samples`, and to `copy` unless it is null.
template <typename Emit>
inline double appendPhases(Stream& state, double phase, double step, int32_t count, Emit emit) {
  while (count > 0) {
    const int32_t room = Stream::kBlock - state.filledInBlock;
    const int32_t take = count < room ? count : room;
    double* slot = state.ring +
                   (state.completedBlocks & (Stream::kRingBlocks - 1)) * Stream::kBlock +
                   state.filledInBlock;
    // The serial add chain: the phases are these sums in this order, whatever the kernel.
    for (int32_t j = 0; j < take; ++j) {
      slot[j] = phase;
      phase += step;
    }
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
