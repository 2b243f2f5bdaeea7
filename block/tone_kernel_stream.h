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

// `emit(phases, count, samples)` writes the (cos, sin) pairs of `count` (at most kBlock) phases.
template <typename Emit>
inline double appendPhases(Stream& state, double phase, double step, int32_t count, Emit emit) {
  while (count > 0) {
    const int32_t room = Stream::kBlock - state.filledInBlock;
    const int32_t take = count < room ? count : room;
    double* slot = state.ring + (state.completedBlocks % Stream::kRingBlocks) * Stream::kBlock +
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
        emit(state.ring + (state.emittedBlocks % Stream::kRingBlocks) * Stream::kBlock,
             Stream::kBlock, state.samples + state.emittedBlocks * 2 * Stream::kBlock);
        ++state.emittedBlocks;
      }
    }
  }
  return phase;
}

template <typename Emit>
inline void flushPhases(Stream& state, Emit emit) {
  for (; state.emittedBlocks < state.completedBlocks; ++state.emittedBlocks) {
    emit(state.ring + (state.emittedBlocks % Stream::kRingBlocks) * Stream::kBlock, Stream::kBlock,
         state.samples + state.emittedBlocks * 2 * Stream::kBlock);
  }
  double* end = state.samples + state.completedBlocks * 2 * Stream::kBlock;
  if (state.filledInBlock > 0) {
    emit(state.ring + (state.completedBlocks % Stream::kRingBlocks) * Stream::kBlock,
         state.filledInBlock, end);
  }
  // Whatever is added next goes on after the samples written so far, from a fresh block.
  state.samples = end + 2 * static_cast<std::ptrdiff_t>(state.filledInBlock);
  state.completedBlocks = 0;
  state.emittedBlocks = 0;
  state.filledInBlock = 0;
}

}  // namespace quenvarith::detail
