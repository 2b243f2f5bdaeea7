// The sample writer of the AVX-512 kernel, for any 8-wide sincos. Include only from files
// compiled for AVX-512F.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "block/tone_kernel/avx512_lanes.h"
#include "block/tone_kernel/tone_synthesizer.h"

namespace quenvarith::tone_kernel::avx512 {

static_assert(ToneSynthesisState::kBlock == kLanes);

// Interleaves 8 cosines and 8 sines into two vectors of 4 (cos, sin) samples each.
[[gnu::always_inline]] inline void interleave(__m512d cosine, __m512d sine, __m512d& first,
                                              __m512d& second) {
  // Index i < 8 picks cosine[i], 8 + i picks sine[i].
  first = _mm512_permutex2var_pd(cosine, _mm512_setr_epi64(0, 8, 1, 9, 2, 10, 3, 11), sine);
  second = _mm512_permutex2var_pd(cosine, _mm512_setr_epi64(4, 12, 5, 13, 6, 14, 7, 15), sine);
}

// (cos, sin) of up to 8 phases into 2 * count doubles of `samples` and, unless it is null, of
// `copy`; lanes past `count` are neither read nor written. `sinCosInterleaved(phases, first,
// second)` computes the two interleaved vectors. Inlined into the stream, so that the samples
// go straight from registers to both places.
template <typename SinCosInterleaved>
[[gnu::always_inline]] inline void emitPhases(const double* phases, int32_t count, double* samples,
                                              double* copy, SinCosInterleaved sinCosInterleaved) {
  __m512d first;
  __m512d second;
  if (count == kLanes) {
    sinCosInterleaved(_mm512_loadu_pd(phases), first, second);
    _mm512_storeu_pd(samples, first);
    _mm512_storeu_pd(samples + kLanes, second);
    if (copy != nullptr) {
      _mm512_storeu_pd(copy, first);
      _mm512_storeu_pd(copy + kLanes, second);
    }
    return;
  }
  const auto lanes = static_cast<__mmask8>((1U << static_cast<uint32_t>(count)) - 1U);
  sinCosInterleaved(_mm512_maskz_loadu_pd(lanes, phases), first, second);
  const auto doubles = static_cast<uint32_t>(2 * count);  // 2 to 14
  const auto firstMask = static_cast<__mmask8>(doubles >= 8 ? 0xffU : (1U << doubles) - 1U);
  const auto secondMask = static_cast<__mmask8>(doubles > 8 ? (1U << (doubles - 8)) - 1U : 0U);
  _mm512_mask_storeu_pd(samples, firstMask, first);
  _mm512_mask_storeu_pd(samples + kLanes, secondMask, second);
  if (copy != nullptr) {
    _mm512_mask_storeu_pd(copy, firstMask, first);
    _mm512_mask_storeu_pd(copy + kLanes, secondMask, second);
  }
}

// emitPhases with a given sincos, as the emitter type the stream takes.
template <auto SinCosInterleaved>
struct Emitter {
  [[gnu::always_inline]] void operator()(const double* phases, int32_t count, double* samples,
                                         double* copy) const {
    emitPhases(phases, count, samples, copy, SinCosInterleaved);
  }
};

}  // namespace quenvarith::tone_kernel::avx512
