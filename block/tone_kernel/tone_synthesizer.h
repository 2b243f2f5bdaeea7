// The synthesis kernel: N samples of one tone from a start phase, and the per-symbol advance of
// every tone's free-running phase. The phase advances by repeated addition (never
// start + j * step), so every implementation produces the same phases bit for bit; only the sine
// and cosine routine differs between the plain and the vector kernels.
#pragma once

#include <cstdint>
#include <span>

namespace quenvarith {

// The implementations a build may carry. The vector ones exist only where SLEEF was found at
// build time and run only where the processor (and its operating system) supports them.
enum class ToneKernel : int32_t {
  plain,       // std::cos and std::sin, one sample at a time
  avx2,        // SLEEF's 4-wide u10 sincos
  avx512,      // SLEEF's 8-wide u10 sincos
  avx512Poly,  // our own 8-wide sincos within 1 ulp (SLEEF's u10 for |phase| > 2^31)
};

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
  explicit ToneSynthesizer(double* samples, double* copy = nullptr);
  ToneSynthesizer(double* samples, ToneKernel kernel, double* copy = nullptr);

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
  // The chosen kernel's addSymbol, addFrame and finish.
  double (*append_)(ToneSynthesisState&, double, double, int32_t);
  double (*appendFrame_)(ToneSynthesisState&, const ToneFrame&, double);
  void (*flush_)(ToneSynthesisState&);
};

// Writes `count` interleaved (cos, sin) pairs of the phases start, start + step, ... to
// `samples` and returns the phase after `count` additions. Uses the fastest kernel this
// process can run.
double synthesizeTone(double startPhase, double step, int32_t count, double* samples);

// The straightforward reference: std::cos and std::sin per sample.
double synthesizeTonePlain(double startPhase, double step, int32_t count, double* samples);

// Advances every tone's free-running phase by one symbol of `n` samples:
// x = n * phaseStep[t] + tonePhase[t]; if x >= 2*pi then x -= 2*pi (once). Identical results
// from every kernel. The spans must be of the same length.
void advanceTonePhases(std::span<double> tonePhase, std::span<const double> phaseStep, int32_t n);

// The straightforward reference of the tone advance, one tone at a time.
void advanceTonePhasesPlain(std::span<double> tonePhase, std::span<const double> phaseStep,
                            int32_t n);

// Whether `kernel` was built in and this processor can run it.
bool toneKernelAvailable(ToneKernel kernel);

// The kernel synthesizeTone and advanceTonePhases use: the widest available one, and of the
// AVX-512 ones the faster (our own sincos). Detected at the first call (never at load) and
// fixed for the life of the process.
ToneKernel fastestToneKernel();

// The same operations through one chosen kernel, for tests and benchmarks; `kernel` must be
// available (an unavailable one falls back to the plain kernel).
double synthesizeToneWith(ToneKernel kernel, double startPhase, double step, int32_t count,
                          double* samples);
void advanceTonePhasesWith(ToneKernel kernel, std::span<double> tonePhase,
                           std::span<const double> phaseStep, int32_t n);

}  // namespace quenvarith
