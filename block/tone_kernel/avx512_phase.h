// The phase arithmetic of the AVX-512 kernel: the serial add chain eight sums at a time, and up
// to eight tones' free-running phases held in one register for a frame. Include only from files
// compiled for AVX-512F.
//
// The chain: while the phase stays within one binade, every sum adds the same multiple r of the
// phase's ulp (the step rounded to it), so phase + j * r, which is exact there, is a candidate for
// the j-th sum. A candidate block is used only when adding the step to each of its phases gives the
// next one bit for bit: by induction from the known first phase, the block is then exactly what
// the serial chain writes. Where it is not (a binade crossed, a step halfway between two ulps,
// a phase not finite), the block is chained one sum at a time and r taken afresh. So the
// phases stay the serial sums bit for bit, while the dependency from one block to the next is
// a single vector addition instead of eight scalar ones.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "block/tone_generation.h"
#include "block/tone_kernel/avx512_lanes.h"
#include "block/tone_kernel/stream.h"
#include "block/tone_kernel/tone_synthesizer.h"

namespace quenvarith::tone_kernel::avx512 {

class VerifiedChain {
 public:
  static constexpr int32_t kLanes = 8;
  static_assert(ToneSynthesisState::kBlock == kLanes);
  static constexpr __mmask8 kAllLanes = 0xff;
  // Between symbols the phase stays in every lane of a register.
  using Carried = __m512d;

  [[gnu::always_inline]] VerifiedChain(__m512d phaseInEveryLane, double step)
      : phase_(phaseInEveryLane), step_(_mm512_set1_pd(step)) {
    deriveOffsets();
  }
  [[gnu::always_inline]] VerifiedChain(double phase, double step)
      : VerifiedChain(_mm512_set1_pd(phase), step) {}

  // Writes the next `count` (1 to 8) phases to `slot`.
  [[gnu::always_inline]] void fill(double* slot, int32_t count) {
    const auto lanes = static_cast<__mmask8>((1U << static_cast<uint32_t>(count)) - 1U);
    __m512d current;
    __m512d next;
    if (candidate(lanes, current, next)) [[likely]] {
      _mm512_mask_storeu_pd(slot, lanes, current);
      // The phase after the last sum written: a candidate checked above.
      phase_ = laneInEveryLane(next, count - 1);
      return;
    }
    chainOneByOne(slot, count);
  }

  [[gnu::always_inline]] void fillBlock(double* slot) { fill(slot, kLanes); }

  [[nodiscard]] double phase() const { return _mm512_cvtsd_f64(phase_); }
  [[nodiscard, gnu::always_inline]] Carried carried() const { return phase_; }
  [[nodiscard, gnu::always_inline]] static Carried fromPhase(double phase) {
    return _mm512_set1_pd(phase);
  }
  [[nodiscard, gnu::always_inline]] static double toPhase(Carried phase) {
    return _mm512_cvtsd_f64(phase);
  }

 private:
  // The candidates for the next phases in `current`, and for the phase after each in `next`;
  // true when they are the serial sums in every lane of `lanes`.
  [[gnu::always_inline]] bool candidate(__mmask8 lanes, __m512d& current, __m512d& next) const {
    // Lane j: the candidate for the phase after j + 1 sums; `current` holds the phases before.
    next = _mm512_add_pd(phase_, offsets_);
    // (The zero-masking form with every lane kept: the plain one starts from an undefined
    // vector, which GCC 12 reports as possibly uninitialised.)
    current = _mm512_castsi512_pd(_mm512_maskz_alignr_epi64(
        kAllLanes, _mm512_castpd_si512(next), _mm512_castpd_si512(phase_), kLanes - 1));
    // Compared as bits, so that -0 is not taken for +0 nor a NaN refused.
    return _mm512_mask_cmpneq_epi64_mask(lanes, _mm512_castpd_si512(_mm512_add_pd(current, step_)),
                                         _mm512_castpd_si512(next)) == 0;
  }

  // The serial chain itself, where the candidates are not its sums; r is then taken afresh.
  [[gnu::always_inline]] void chainOneByOne(double* slot, int32_t count) {
    ScalarChain serial(_mm512_cvtsd_f64(phase_), _mm512_cvtsd_f64(step_));
    serial.fill(slot, count);
    phase_ = _mm512_set1_pd(serial.phase());
    deriveOffsets();
  }

  // r = (phase + step) - phase is the step rounded to the phase's ulp while both sums stay in
  // its binade; lane j gets (j + 1) * r.
  [[gnu::always_inline]] void deriveOffsets() {
    const __m512d rounded = _mm512_sub_pd(_mm512_add_pd(phase_, step_), phase_);
    offsets_ = _mm512_mul_pd(_mm512_setr_pd(1, 2, 3, 4, 5, 6, 7, 8), rounded);
  }

  __m512d phase_;  // the phase of the next sample, in every lane
  __m512d step_;
  __m512d offsets_;  // lane j: (j + 1) * r
};

// The tones' phases of a frame with at most eight tones, in one register from the frame's start
// to its end: a symbol's start phase is then a lane, not a load waiting for the last advance's
// store. The advance is the plain one, lane by lane: x = n * phaseStep + tonePhase, less 2*pi
// once when x >= 2*pi; n * phaseStep is the same product at every symbol, so it is taken once.
class RegisterToneBank {
 public:
  static constexpr int32_t kCapacity = 8;

  [[gnu::always_inline]] explicit RegisterToneBank(const ToneFrame& frame)
      : tonePhase_(frame.tonePhase),
        tones_(static_cast<__mmask8>((1U << static_cast<uint32_t>(frame.toneCount)) - 1U)),
        phases_(_mm512_maskz_loadu_pd(tones_, frame.tonePhase)),
        symbolAdvance_(_mm512_mul_pd(_mm512_set1_pd(frame.samplesPerSymbol),
                                     _mm512_maskz_loadu_pd(tones_, frame.phaseStep))),
        twoPi_(_mm512_set1_pd(kTwoPi)) {}

  // The phase of `tone` (below the frame's tone count), in every lane.
  [[nodiscard, gnu::always_inline]] __m512d phase(int32_t tone) const {
    return laneInEveryLane(phases_, tone);
  }
  [[gnu::always_inline]] void advance() {
    const __m512d x = _mm512_add_pd(symbolAdvance_, phases_);
    phases_ = _mm512_mask_sub_pd(x, _mm512_cmp_pd_mask(x, twoPi_, _CMP_GE_OQ), x, twoPi_);
  }
  [[gnu::always_inline]] void store() { _mm512_mask_storeu_pd(tonePhase_, tones_, phases_); }

 private:
  double* tonePhase_;
  __mmask8 tones_;  // one bit per tone
  __m512d phases_;
  __m512d symbolAdvance_;
  __m512d twoPi_;
};

}  // namespace quenvarith::tone_kernel::avx512
