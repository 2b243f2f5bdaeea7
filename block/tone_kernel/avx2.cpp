// The AVX2 kernel: our own 4-wide sincos (avx2_sincos.h, within 1 ulp for |phase| <= 2^31), on
// the two vectors of a block of eight phases at once. A block with any phase beyond that range,
// or not finite, goes to SLEEF's u10 sincos whole. Compiled with AVX2 and FMA enabled and without
// contraction: the phases are the serial add chain's, the tone advance rounds as the plain one
// does, and the fused multiply-adds inside the sincos are explicit.
#include <immintrin.h>
#include <sleef.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "block/tone_generation.h"
#include "block/tone_kernel/avx2_sincos.h"
#include "block/tone_kernel/kernels.h"
#include "block/tone_kernel/stream.h"

namespace quenvarith::tone_kernel::avx2 {

namespace {

constexpr int32_t kBlock = ToneSynthesisState::kBlock;
static_assert(kBlock == 2 * kLanes);

// The samples of 8 phases: (cos, sin) pairs, two per vector, in order.
struct Samples {
  __m256d first;
  __m256d second;
  __m256d third;
  __m256d fourth;
};

// (cos, sin) of the 4 phases of `low` and the 4 of `high`, interleaved into samples.
[[gnu::always_inline]] inline Samples sincosInterleaved(__m256d low, __m256d high) {
  // The lanes in the order p0 p2 p1 p3, so that each unpack below gives two samples in place:
  // one permutation of the phases instead of two of the results.
  const Doubles phases{_mm256_permute4x64_pd(low, 0xd8), _mm256_permute4x64_pd(high, 0xd8)};
  const SinCosConstants& constants = sinCosConstants();
  Doubles sine;
  Doubles cosine;
  if (allReducible(constants, phases)) [[likely]] {
    const SinCos sinCos = sinCosReduced(constants, phases);
    sine = sinCos.sin;
    cosine = sinCos.cos;
  } else {
    const Sleef___m256d_2 lowSinCos = Sleef_sincosd4_u10avx2(phases.a);
    const Sleef___m256d_2 highSinCos = Sleef_sincosd4_u10avx2(phases.b);
    sine = {lowSinCos.x, highSinCos.x};
    cosine = {lowSinCos.y, highSinCos.y};
  }
  return {_mm256_unpacklo_pd(cosine.a, sine.a), _mm256_unpackhi_pd(cosine.a, sine.a),
          _mm256_unpacklo_pd(cosine.b, sine.b), _mm256_unpackhi_pd(cosine.b, sine.b)};
}

// Lane i: i < `count`, as the mask of the masked loads and stores.
[[gnu::always_inline]] inline __m256i lanesBelow(int32_t count) {
  return _mm256_cmpgt_epi64(_mm256_set1_epi64x(count), _mm256_setr_epi64x(0, 1, 2, 3));
}

// The doubles of one vector, as a pointer offset.
constexpr std::ptrdiff_t kVector = kLanes;

// The 16 doubles of the samples.
inline void store(double* target, const Samples& samples) {
  _mm256_storeu_pd(target, samples.first);
  _mm256_storeu_pd(target + kVector, samples.second);
  _mm256_storeu_pd(target + 2 * kVector, samples.third);
  _mm256_storeu_pd(target + 3 * kVector, samples.fourth);
}

// The first `doubles` (2 to 14) doubles of the samples.
inline void storePartially(double* target, int32_t doubles, const Samples& samples) {
  _mm256_maskstore_pd(target, lanesBelow(doubles), samples.first);
  _mm256_maskstore_pd(target + kVector, lanesBelow(doubles - kLanes), samples.second);
  _mm256_maskstore_pd(target + 2 * kVector, lanesBelow(doubles - 2 * kLanes), samples.third);
  _mm256_maskstore_pd(target + 3 * kVector, lanesBelow(doubles - 3 * kLanes), samples.fourth);
}

// (cos, sin) of up to 8 phases into 2 * count doubles of `samples` and, unless it is null, of
// `copy`; lanes past `count` are neither read nor written. Inlined into the stream, so that the
// samples go straight from registers to both places.
[[gnu::always_inline]] inline void emitPhases(const double* phases, int32_t count, double* samples,
                                              double* copy) {
  if (count != kBlock) [[unlikely]] {
    const Samples partial =
        sincosInterleaved(_mm256_maskload_pd(phases, lanesBelow(count)),
                          _mm256_maskload_pd(phases + kLanes, lanesBelow(count - kLanes)));
    storePartially(samples, 2 * count, partial);
    if (copy != nullptr) {
      storePartially(copy, 2 * count, partial);
    }
    return;
  }
  const Samples block =
      sincosInterleaved(_mm256_loadu_pd(phases), _mm256_loadu_pd(phases + kLanes));
  store(samples, block);
  if (copy != nullptr) {
    store(copy, block);
  }
}

using Emit = Emitter<emitPhases>;

// For each tone: x = n * step + phase, less 2*pi where x >= 2*pi (the plain advance, 4 at once).
// Elsewhere x - (+0), which is x bit for bit (-0 too); cheaper than a variable blend.
[[gnu::always_inline]] inline __m256d advanced(__m256d phases, __m256d symbolAdvance,
                                               __m256d twoPi) {
  const __m256d x = _mm256_add_pd(symbolAdvance, phases);
  return _mm256_sub_pd(x, _mm256_and_pd(twoPi, _mm256_cmp_pd(x, twoPi, _CMP_GE_OQ)));
}

[[gnu::always_inline]] inline void advanceToneRange(double* tonePhase, const double* phaseStep,
                                                    std::size_t toneCount, double n) {
  const __m256d samplesPerSymbol = _mm256_set1_pd(n);
  const __m256d twoPi = _mm256_set1_pd(kTwoPi);
  std::size_t t = 0;
  for (; t + kLanes <= toneCount; t += kLanes) {
    const __m256d symbolAdvance = _mm256_mul_pd(samplesPerSymbol, _mm256_loadu_pd(phaseStep + t));
    _mm256_storeu_pd(tonePhase + t, advanced(_mm256_loadu_pd(tonePhase + t), symbolAdvance, twoPi));
  }
  if (t < toneCount) {
    const __m256i rest = lanesBelow(static_cast<int32_t>(toneCount - t));
    const __m256d symbolAdvance =
        _mm256_mul_pd(samplesPerSymbol, _mm256_maskload_pd(phaseStep + t, rest));
    _mm256_maskstore_pd(tonePhase + t, rest,
                        advanced(_mm256_maskload_pd(tonePhase + t, rest), symbolAdvance, twoPi));
  }
}

// Row i holds, in every 64-bit lane, the two 32-bit indices that move double i to lane 0.
constexpr auto kLaneIndex = [] {
  std::array<IntegerLanes, kLanes> rows{};
  for (int64_t lane = 0; lane < kLanes; ++lane) {
    rows.at(static_cast<std::size_t>(lane)) =
        inEveryLane<kLanes>(((2 * lane + 1) << 32) | (2 * lane));
  }
  return rows;
}();

// The phases of a frame with at most four tones, in one register from the frame's start to its
// end: a symbol's start phase is then a lane, not a load waiting for the last advance's store,
// and the advance is a few operations with n * step taken once.
class RegisterToneBank {
 public:
  static constexpr int32_t kCapacity = kLanes;

  [[gnu::always_inline]] explicit RegisterToneBank(const ToneFrame& frame)
      : tonePhase_(frame.tonePhase),
        tones_(lanesBelow(frame.toneCount)),
        phases_(_mm256_maskload_pd(frame.tonePhase, tones_)),
        symbolAdvance_(_mm256_mul_pd(_mm256_set1_pd(frame.samplesPerSymbol),
                                     _mm256_maskload_pd(frame.phaseStep, tones_))),
        twoPi_(_mm256_set1_pd(kTwoPi)) {}

  // The phase of `tone` (below the frame's tone count).
  [[nodiscard, gnu::always_inline]] double phase(int32_t tone) const {
    const __m256i index = load(kLaneIndex[static_cast<std::size_t>(tone)]);
    return _mm256_cvtsd_f64(
        _mm256_castps_pd(_mm256_permutevar8x32_ps(_mm256_castpd_ps(phases_), index)));
  }
  [[gnu::always_inline]] void advance() { phases_ = advanced(phases_, symbolAdvance_, twoPi_); }
  [[gnu::always_inline]] void store() { _mm256_maskstore_pd(tonePhase_, tones_, phases_); }

 private:
  double* tonePhase_;
  __m256i tones_;  // all ones in each tone's lane
  __m256d phases_;
  __m256d symbolAdvance_;
  __m256d twoPi_;
};

// The serial add chain, a whole block written as two vector stores rather than eight scalar
// ones: a block flushed at once, as a step of one short symbol flushes its only block, is then
// loaded by the sincos straight from the store buffer, which cannot forward one wide load from
// several narrow stores.
class VectorStoreChain : public ScalarChain {
 public:
  using ScalarChain::ScalarChain;

  [[gnu::always_inline]] void fillBlock(double* slot) {
    double sums[Stream::kBlock];  // NOLINT(*-avoid-c-arrays): registers, once inlined
#pragma GCC unroll 8
    for (double& sum : sums) {
      sum = phase();
      advance();
    }
    _mm256_storeu_pd(slot, _mm256_setr_pd(sums[0], sums[1], sums[2], sums[3]));
    _mm256_storeu_pd(slot + kLanes, _mm256_setr_pd(sums[4], sums[5], sums[6], sums[7]));
  }
};

// The tones in a register from the frame's start to its end where they fit one.
template <typename Synthesize>
[[gnu::always_inline]] inline double withTones(const ToneFrame& frame, Synthesize synthesize) {
  return withToneBank<RegisterToneBank, MemoryToneBank<advanceToneRange>>(frame, synthesize);
}

}  // namespace

double appendSymbol(ToneSynthesisState& state, double phase, double step, int32_t count) {
  return synthesizeSymbol<VectorStoreChain>(state, phase, step, count, Emit{});
}

double appendFrame(ToneSynthesisState& state, const ToneFrame& frame, double phase) {
  return withTones(frame, [&]<typename ToneBank>(std::type_identity<ToneBank>) {
    return synthesizeFrame<VectorStoreChain, ToneBank>(state, frame, phase, Emit{});
  });
}

void flush(ToneSynthesisState& state) {
  flushStream(state, Emit{});
}

double appendWholeFrame(const ToneFrame& frame, double phase, double* samples, double* copy) {
  return withTones(frame, [&]<typename ToneBank>(std::type_identity<ToneBank>) {
    return synthesizeFrameAtOnce<VectorStoreChain, ToneBank>(frame, phase, samples, copy, Emit{});
  });
}

void advanceTones(double* tonePhase, const double* phaseStep, std::size_t toneCount, double n) {
  advanceToneRange(tonePhase, phaseStep, toneCount, n);
}

}  // namespace quenvarith::tone_kernel::avx2
