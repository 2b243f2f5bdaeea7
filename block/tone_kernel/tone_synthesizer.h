// The synthesis the block runs: N samples of a tone from a start phase for every symbol of a
// frame, and the per-symbol advance of every tone's free-running phase. The phase advances by
// repeated addition (never start + j * step), so every kernel produces the same phases bit for
// bit; only the sine and cosine routine differs between the plain and the vector kernels.
#pragma once

#include <cstdint>

namespace quenvarith {

struct ToneKernel;  // kernel_table.h

// The kernel this process uses: chooseToneKernel (kernel_table.h) of the level QUENVARITH_KERNEL
// names (none when it is unset or names no level). Read at the first call, never at load, and
// fixed for the life of the process; nothing is printed either way.
const ToneKernel& selectedToneKernel();

// The state of a ToneSynthesizer, kept as a plain record so that the kernel of each
// instruction set can run it.
struct ToneSynthesisState {
  static constexpr int32_t kBlock = 8;       // phases per vector sine and cosine
  static constexpr int32_t kAhead = 4;       // completed blocks held back before their sincos
  static constexpr int32_t kRingBlocks = 8;  // a power of two above kAhead
  alignas(64) double ring[kRingBlocks * kBlock];
  double* samples;          // where block 0 goes
  double* copy;             // where a second copy of the samples goes, or null
  int64_t completedBlocks;  // blocks whose phases are all chained
  int64_t emittedBlocks;    // blocks whose samples are written
  int32_t filledInBlock;    // phases chained into the block being filled
};

// One frame of symbols as a kernel synthesises it: for each symbol, N samples of its tone from
// its start phase, then every tone's free-running phase advanced by one symbol. Plain pointers,
// so that the kernel of each instruction set can read it.
struct ToneFrame {
  const int32_t* tones;  // the tone of each symbol; one outside 0..toneCount-1 counts as tone 0
  int32_t symbolCount;
  const double* phaseStep;  // per tone: the phase added per sample
  double* tonePhase;        // per tone: the free-running phase, advanced after every symbol
  int32_t toneCount;
  int32_t samplesPerSymbol;
  bool continuous;  // each symbol starts where the last ended, else at its tone's phase
};

// Synthesises a run of symbols into one contiguous buffer of interleaved (cos, sin) pairs. Each
// symbol's phases are chained when it is added; the sine and cosine follow a few blocks behind,
// across symbol boundaries, so that short symbols use full vectors, the serial add chain
// overlaps the vector work, and a block's phases have left the store buffer before they are
// loaded as one vector. finish() writes what is still held back. Holds no allocation: it lives
// on the caller's stack for one frame. With a `copy`, every sample is written there as well,
// while it is still in the cache, which costs less than copying the finished buffer.
class ToneSynthesizer {
 public:
  // Through `kernel`; one this processor cannot run gives the plain kernel instead.
  ToneSynthesizer(const ToneKernel& kernel, double* samples, double* copy = nullptr);

  // Appends `count` samples of the phases start, start + step, ... and returns the phase after
  // `count` additions. A count of 0 or less appends nothing.
  double addSymbol(double startPhase, double step, int32_t count);
  // Appends every symbol of `frame`, advancing the tones' phases after each, and returns the
  // phase after the last symbol; `phase` is where a continuous frame starts. A frame without
  // symbols or tones appends nothing and returns `phase`.
  double addFrame(const ToneFrame& frame, double phase);
  // Writes every sample still held back; the buffer is complete afterwards. Symbols added after
  // it continue the buffer where it ends.
  void finish();

 private:
  ToneSynthesisState state_;
  const ToneKernel* kernel_;
};

// What a fresh ToneSynthesizer writes for addFrame(frame, phase) and then finish(), and the
// phase it returns, in one call of the kernel: a frame that is all a step synthesises, with no
// synthesizer to set up. Through the kernel this process uses, or through `kernel` (the plain
// one where this processor cannot run it).
double synthesizeWholeFrame(const ToneFrame& frame, double phase, double* samples,
                            double* copy = nullptr);
double synthesizeWholeFrame(const ToneKernel& kernel, const ToneFrame& frame, double phase,
                            double* samples, double* copy = nullptr);

}  // namespace quenvarith
