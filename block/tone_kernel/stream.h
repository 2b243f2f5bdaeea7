// The synthesis stream every kernel runs: the serial add chain into a ring of phase blocks, and
// the sine and cosine of each block once kAhead further blocks are complete. Instantiated in
// each kernel's own file with that kernel's `emit` (internal linkage), and written without
// library calls, so nothing compiled for a wider instruction set is shared with other files;
// the classes below are always inlined for the same reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "block/tone_kernel/tone_synthesizer.h"

namespace quenvarith::tone_kernel {

using Stream = ToneSynthesisState;
static_assert((Stream::kRingBlocks & (Stream::kRingBlocks - 1)) == 0, "ring index by mask");

// A function as a type, so that the templates below see their callee even where the compiler
// does not propagate a function pointer (unoptimised and sanitizer builds), which an
// always-inline emitter needs.
template <auto Function>
struct Emitter {
  [[gnu::always_inline]] void operator()(const double* phases, int32_t count, double* samples,
                                         double* copy) const {
    Function(phases, count, samples, copy);
  }
};

// The stream's pointers and counters, copied out of the state for one call and written back at
// its end: the vector stores of the samples may alias anything, so counters left in the state
// would be stored and reloaded around every one of them.
struct StreamCursor {
  [[gnu::always_inline]] explicit StreamCursor(Stream& state)
      : ring(state.ring),
        samples(loadAlone(state.samples)),
        copy(loadAlone(state.copy)),
        completedBlocks(loadAlone(state.completedBlocks)),
        emittedBlocks(loadAlone(state.emittedBlocks)),
        filledInBlock(state.filledInBlock) {}

  // An empty stream in `emptyRing`, its samples to go to `firstSample` on and, unless it is
  // null, to `firstCopy` on.
  [[gnu::always_inline]] StreamCursor(double* emptyRing, double* firstSample, double* firstCopy)
      : ring(emptyRing),
        samples(firstSample),
        copy(firstCopy),
        completedBlocks(0),
        emittedBlocks(0),
        filledInBlock(0) {}

  // A field loaded on its own: the compiler would otherwise load neighbouring fields as one
  // vector, and a load that spans two separate stores of them, as the state's fields are
  // written just before a short frame, waits for the stores to retire instead of being
  // forwarded from them.
  template <typename T>
  [[nodiscard, gnu::always_inline]] static T loadAlone(const T& field) {
    T value = field;
    asm("" : "+r"(value));  // emits no instruction
    return value;
  }

  [[gnu::always_inline]] void storeTo(Stream& state) const {
    state.samples = samples;
    state.copy = copy;
    state.completedBlocks = completedBlocks;
    state.emittedBlocks = emittedBlocks;
    state.filledInBlock = filledInBlock;
  }

  // The ring's slot of block `block`.
  [[nodiscard, gnu::always_inline]] double* slot(int64_t block) const {
    return ring + (block & (Stream::kRingBlocks - 1)) * Stream::kBlock;
  }

  double* ring;
  double* samples;
  double* copy;
  int64_t completedBlocks;
  int64_t emittedBlocks;
  int32_t filledInBlock;
};

// Emits `count` phases of block `block`, to the copy as well where the state asks for one.
template <typename Emit>
[[gnu::always_inline]] inline void emitBlock(const StreamCursor& cursor, int32_t count,
                                             int64_t block, Emit emit) {
  // An offset within one allocated buffer, so it fits a pointer difference on every target.
  const auto offset = static_cast<std::ptrdiff_t>(block * 2 * Stream::kBlock);
  emit(cursor.slot(block), count, cursor.samples + offset,
       cursor.copy != nullptr ? cursor.copy + offset : nullptr);
}

// The serial add chain, one sum after another: the phases every kernel produces are these sums
// in this order. Between symbols a chain hands on its phase as `Carried` (for this chain, the
// phase itself).
class ScalarChain {
 public:
  using Carried = double;

  [[gnu::always_inline]] ScalarChain(double phase, double step) : phase_(phase), step_(step) {}

  // Writes the next `count` (1 to kBlock) phases to `slot`.
  [[gnu::always_inline]] void fill(double* slot, int32_t count) {
    for (int32_t j = 0; j < count; ++j) {
      slot[j] = phase_;
      phase_ += step_;
    }
  }

  // Writes the next kBlock phases to `slot`, unrolled: no loop around the sums.
  [[gnu::always_inline]] void fillBlock(double* slot) {
#pragma GCC unroll 8
    for (int32_t j = 0; j < Stream::kBlock; ++j) {
      slot[j] = phase_;
      phase_ += step_;
    }
  }

  [[nodiscard, gnu::always_inline]] double phase() const {
    return phase_;
  }
  // One sum: the phase of the next sample.
  [[gnu::always_inline]] void advance() {
    phase_ += step_;
  }
  [[nodiscard, gnu::always_inline]] Carried carried() const {
    return phase_;
  }
  [[nodiscard, gnu::always_inline]] static Carried fromPhase(double phase) {
    return phase;
  }
  [[nodiscard, gnu::always_inline]] static double toPhase(Carried phase) {
    return phase;
  }

 private:
  double phase_;
  double step_;
};

// Counts the block being filled as complete, and emits the oldest held back once more than
// kAhead are.
template <typename Emit>
[[gnu::always_inline]] inline void completeBlock(StreamCursor& cursor, Emit emit) {
  ++cursor.completedBlocks;
  if (cursor.completedBlocks - cursor.emittedBlocks > Stream::kAhead) {
    emitBlock(cursor, Stream::kBlock, cursor.emittedBlocks, emit);
    ++cursor.emittedBlocks;
  }
}

// `emit(phases, count, samples, copy)` writes the (cos, sin) pairs of `count` (at most kBlock)
// phases to `samples`, and to `copy` unless it is null. `chain` produces the phases: the
// ScalarChain's sums, by whatever means. Tops up a block begun before, then chains whole
// blocks, then begins the next; the whole blocks, the usual case, take no test of lengths.
template <typename Chain, typename Emit>
[[gnu::always_inline]] inline void appendPhases(StreamCursor& cursor, Chain& chain, int32_t count,
                                                Emit emit) {
  if (count <= 0) {
    return;
  }
  if (cursor.filledInBlock > 0) {
    const int32_t room = Stream::kBlock - cursor.filledInBlock;
    const int32_t take = count < room ? count : room;
    chain.fill(cursor.slot(cursor.completedBlocks) + cursor.filledInBlock, take);
    count -= take;
    if (take < room) {
      cursor.filledInBlock += take;
      return;
    }
    cursor.filledInBlock = 0;
    completeBlock(cursor, emit);
  }
  for (; count >= Stream::kBlock; count -= Stream::kBlock) {
    chain.fillBlock(cursor.slot(cursor.completedBlocks));
    completeBlock(cursor, emit);
  }
  if (count > 0) {
    chain.fill(cursor.slot(cursor.completedBlocks), count);
    cursor.filledInBlock = count;
  }
}

// ToneSynthesizer::addSymbol.
template <typename Chain = ScalarChain, typename Emit>
inline double synthesizeSymbol(Stream& state, double phase, double step, int32_t count, Emit emit) {
  StreamCursor cursor(state);
  Chain chain(phase, step);
  appendPhases(cursor, chain, count, emit);
  cursor.storeTo(state);
  return chain.phase();
}

// The tones' free-running phases where the frame keeps them, advanced by `Advance(tonePhase,
// phaseStep, toneCount, n)` (a kernel's advanceTones) after every symbol.
template <auto Advance>
class MemoryToneBank {
 public:
  [[gnu::always_inline]] explicit MemoryToneBank(const ToneFrame& frame) : frame_(frame) {}

  [[nodiscard, gnu::always_inline]] double phase(int32_t tone) const {
    return frame_.tonePhase[tone];
  }
  [[gnu::always_inline]] void advance() {
    // synthesizeFrame runs no bank without tones.
    Advance(frame_.tonePhase, frame_.phaseStep, static_cast<std::size_t>(frame_.toneCount),
            static_cast<double>(frame_.samplesPerSymbol));
  }
  [[gnu::always_inline]] void store() {}

 private:
  const ToneFrame& frame_;
};

// `synthesize(std::type_identity<ToneBank>{})` with the frame's tones in `RegisterBank` from its
// start to its end where they fit its kCapacity, else in `MemoryBank`.
template <typename RegisterBank, typename MemoryBank, typename Synthesize>
[[gnu::always_inline]] inline double withToneBank(const ToneFrame& frame, Synthesize synthesize) {
  if (frame.toneCount <= RegisterBank::kCapacity) {
    return synthesize(std::type_identity<RegisterBank>{});
  }
  return synthesize(std::type_identity<MemoryBank>{});
}

// The tone of `symbol`: a stored index outside the tones counts as tone 0, so that none can
// make a kernel read past the per-tone phases.
[[gnu::always_inline]] inline int32_t toneOfSymbol(const ToneFrame& frame, int32_t symbol) {
  const int32_t tone = frame.tones[symbol];
  return tone >= 0 && tone < frame.toneCount ? tone : 0;
}

// The chain of `symbol`'s phases: from `carried`, where the last symbol ended (continuous), or
// from its tone's free-running phase.
template <typename Chain, typename ToneBank>
[[gnu::always_inline]] inline Chain symbolChain(const ToneFrame& frame, const ToneBank& tones,
                                                typename Chain::Carried carried, int32_t symbol,
                                                bool continuous) {
  const int32_t tone = toneOfSymbol(frame, symbol);
  const double step = frame.phaseStep[tone];
  return continuous ? Chain(carried, step) : Chain(tones.phase(tone), step);
}

// The symbols of `frame`, each from where the last one ended (Continuous) or from its tone's
// free-running phase, each symbol's N phases handed to `append(chain, N)`; returns the phase
// after the last. A template parameter, so that the loop holds no test of the continuity.
template <bool Continuous, typename Chain, typename ToneBank, typename Append>
[[gnu::always_inline]] inline double chainSymbols(const ToneFrame& frame, ToneBank& tones,
                                                  double phase, Append& append) {
  typename Chain::Carried carried = Chain::fromPhase(phase);
  for (int32_t symbol = 0; symbol < frame.symbolCount; ++symbol) {
    auto chain = symbolChain<Chain>(frame, tones, carried, symbol, Continuous);
    append(chain, frame.samplesPerSymbol);
    carried = chain.carried();
    tones.advance();
  }
  return Chain::toPhase(carried);
}

// Each symbol of `frame` through `append`, the tones advanced by `ToneBank` after each.
template <typename Chain, typename ToneBank, typename Append>
[[gnu::always_inline]] inline double chainFrame(const ToneFrame& frame, double phase,
                                                Append& append) {
  if (frame.toneCount <= 0) {
    return phase;
  }
  // A copy, so that its fields stay in registers: the vector stores of the samples may alias
  // anything, the caller's frame included.
  const ToneFrame local = frame;
  ToneBank tones(local);
  phase = local.continuous ? chainSymbols<true, Chain>(local, tones, phase, append)
                           : chainSymbols<false, Chain>(local, tones, phase, append);
  tones.store();
  return phase;
}

// A symbol's phases into the stream, through appendPhases. A type rather than a lambda, so that
// it is always inlined and the cursor stays in registers.
template <typename Emit>
struct AppendToStream {
  template <typename Chain>
  [[gnu::always_inline]] void operator()(Chain& chain, int32_t count) {
    appendPhases(cursor, chain, count, emit);
  }
  StreamCursor& cursor;
  Emit emit;
};

// A symbol's phases into the one block of a frame that has no more (at most kBlock phases in
// all), after those of the symbols before it.
struct AppendToBlock {
  template <typename Chain>
  [[gnu::always_inline]] void operator()(Chain& chain, int32_t count) {
    if (count == Stream::kBlock) {  // then the only symbol
      chain.fillBlock(slot);
    } else if (count > 0) {
      chain.fill(slot + filled, count);
    }
    filled += count > 0 ? count : 0;
  }
  double* slot;
  int32_t filled;
};

// Each symbol of `frame` through appendPhases.
template <typename Chain, typename ToneBank, typename Emit>
[[gnu::always_inline]] inline double appendFrame(StreamCursor& cursor, const ToneFrame& frame,
                                                 double phase, Emit emit) {
  AppendToStream<Emit> append{cursor, emit};
  return chainFrame<Chain, ToneBank>(frame, phase, append);
}

// Writes every block still held back, and starts the next from where the samples end.
template <typename Emit>
[[gnu::always_inline]] inline void flushCursor(StreamCursor& cursor, Emit emit) {
  for (; cursor.emittedBlocks < cursor.completedBlocks; ++cursor.emittedBlocks) {
    emitBlock(cursor, Stream::kBlock, cursor.emittedBlocks, emit);
  }
  if (cursor.filledInBlock > 0) {
    emitBlock(cursor, cursor.filledInBlock, cursor.completedBlocks, emit);
  }
  // Whatever is added next goes on after the samples written so far, from a fresh block.
  const auto written = static_cast<std::ptrdiff_t>(
      (cursor.completedBlocks * Stream::kBlock + cursor.filledInBlock) * 2);
  cursor.samples += written;
  if (cursor.copy != nullptr) {
    cursor.copy += written;
  }
  cursor.completedBlocks = 0;
  cursor.emittedBlocks = 0;
  cursor.filledInBlock = 0;
}

// ToneSynthesizer::addFrame: the cursor kept in registers from the frame's first phase to its
// last.
template <typename Chain, typename ToneBank, typename Emit>
inline double synthesizeFrame(Stream& state, const ToneFrame& frame, double phase, Emit emit) {
  StreamCursor cursor(state);
  phase = appendFrame<Chain, ToneBank>(cursor, frame, phase, emit);
  cursor.storeTo(state);
  return phase;
}

// A frame of one symbol of at most kBlock samples, as a step of the usual sample rates makes,
// with at least one tone: its phases chained into one slot, the tones advanced, then its one
// sincos. Its own function, without the loops over symbols and blocks, so that the commonest
// step saves only the registers it uses and keeps no stream on its stack.
template <typename Chain, typename ToneBank, typename Emit>
[[gnu::noinline]] double synthesizeOneSymbol(const ToneFrame& frame, double phase, double* samples,
                                             double* copy, Emit emit) {
  ToneBank tones(frame);
  auto chain = symbolChain<Chain>(frame, tones, Chain::fromPhase(phase), 0, frame.continuous);
  // The slot is written before it is read.
  alignas(64) double slot[Stream::kBlock];       // NOLINT(*-avoid-c-arrays,*-member-init)
  const int32_t count = frame.samplesPerSymbol;  // 1 to kBlock: no test of the slot's room
  if (count == Stream::kBlock) {
    chain.fillBlock(slot);
  } else {
    chain.fill(slot, count);
  }
  tones.advance();
  tones.store();
  emit(slot, count, samples, copy);
  return chain.phase();
}

// A frame of one block at most, as a step of a few short symbols makes: its phases chained into
// one slot, then its one sincos, with no count of blocks.
template <typename Chain, typename ToneBank, typename Emit>
[[gnu::noinline]] double synthesizeOneBlock(const ToneFrame& frame, double phase, double* samples,
                                            double* copy, Emit emit) {
  // The slot is written before it is read.
  alignas(64) double slot[Stream::kBlock];  // NOLINT(*-avoid-c-arrays,*-member-init)
  AppendToBlock block{slot, 0};
  phase = chainFrame<Chain, ToneBank>(frame, phase, block);
  if (block.filled > 0) {
    emit(block.slot, block.filled, samples, copy);
  }
  return phase;
}

// A longer frame, through a stream of its own that starts empty and is flushed at the frame's
// end.
template <typename Chain, typename ToneBank, typename Emit>
[[gnu::noinline]] double synthesizeBlocks(const ToneFrame& frame, double phase, double* samples,
                                          double* copy, Emit emit) {
  // The ring is written before it is read.
  Stream stream;  // NOLINT(cppcoreguidelines-pro-type-member-init,hicpp-member-init)
  StreamCursor cursor(stream.ring, samples, copy);
  phase = appendFrame<Chain, ToneBank>(cursor, frame, phase, emit);
  flushCursor(cursor, emit);
  return phase;
}

// synthesizeWholeFrame (tone_synthesizer.h): a frame that is all a step synthesises, by the
// cheapest of the three above. Inlined into each kernel's entry point, so that each is a tail
// call from there.
template <typename Chain, typename ToneBank, typename Emit>
[[gnu::always_inline]] inline double synthesizeFrameAtOnce(const ToneFrame& frame, double phase,
                                                           double* samples, double* copy,
                                                           Emit emit) {
  if (frame.symbolCount == 1 && frame.samplesPerSymbol > 0 &&
      frame.samplesPerSymbol <= Stream::kBlock && frame.toneCount > 0) {
    return synthesizeOneSymbol<Chain, ToneBank>(frame, phase, samples, copy, emit);
  }
  const int64_t phases = static_cast<int64_t>(frame.symbolCount) * frame.samplesPerSymbol;
  if (phases <= Stream::kBlock) {
    return synthesizeOneBlock<Chain, ToneBank>(frame, phase, samples, copy, emit);
  }
  return synthesizeBlocks<Chain, ToneBank>(frame, phase, samples, copy, emit);
}

// ToneSynthesizer::finish.
template <typename Emit>
inline void flushStream(Stream& state, Emit emit) {
  StreamCursor cursor(state);
  flushCursor(cursor, emit);
  cursor.storeTo(state);
}

}  // namespace quenvarith::tone_kernel
