// The AVX-512 kernels: SLEEF's 8-wide sincos (1-ulp class) over blocks of 8 phases. Compiled
// with AVX-512F enabled and without contraction to fused multiply-add, so the phases and the tone
// advance round exactly as the plain loops do.
#include <immintrin.h>
#include <sleef.h>

#include <cstdint>

#include "block/tone_generation.h"
#include "block/tone_kernel_vector.h"

namespace quenvarith::detail {

namespace {

constexpr int32_t kLanes = 8;
// The serial add chain runs this many blocks ahead of the sincos, so that a block's phases are
// in the cache by the time they are loaded as one vector and the chain overlaps the sincos.
constexpr int32_t kAhead = 2;
constexpr int32_t kRingBlocks = kAhead + 1;

// Writes the next kLanes phases of the chain into `block`.
inline double fillPhases(double phase, double step, double* block) {
  for (int32_t lane = 0; lane < kLanes; ++lane) {
    block[lane] = phase;
    phase += step;
  }
  return phase;
}

// (cos, sin) of 8 phases, interleaved into two vectors of 4 complex samples each.
inline void sincosInterleaved(__m512d phases, __m512d& first, __m512d& second) {
  const Sleef___m512d_2 sinCos = Sleef_sincosd8_u10avx512f(phases);
  // Index i < 8 picks cos[i], 8 + i picks sin[i].
  first = _mm512_permutex2var_pd(sinCos.y, _mm512_setr_epi64(0, 8, 1, 9, 2, 10, 3, 11), sinCos.x);
  second =
      _mm512_permutex2var_pd(sinCos.y, _mm512_setr_epi64(4, 12, 5, 13, 6, 14, 7, 15), sinCos.x);
}

}  // namespace

double synthesizeToneAvx512(double startPhase, double step, int32_t count, double* samples) {
  if (count <= 0) return startPhase;
  alignas(64) double ring[kRingBlocks * kLanes];
  const int32_t fullBlocks = count / kLanes;
  const int32_t tail = count % kLanes;
  double phase = startPhase;

  int32_t filled = 0;
  for (; filled < kAhead && filled < fullBlocks; ++filled) {
    phase = fillPhases(phase, step, ring + (filled % kRingBlocks) * kLanes);
  }
  for (int32_t block = 0; block < fullBlocks; ++block) {
    if (filled < fullBlocks) {
      phase = fillPhases(phase, step, ring + (filled % kRingBlocks) * kLanes);
      ++filled;
    }
    __m512d first;
    __m512d second;
    sincosInterleaved(_mm512_load_pd(ring + (block % kRingBlocks) * kLanes), first, second);
    double* out = samples + static_cast<std::ptrdiff_t>(block) * 2 * kLanes;
    _mm512_storeu_pd(out, first);
    _mm512_storeu_pd(out + kLanes, second);
  }
  if (tail > 0) {
    // The last few phases; the unused lanes get 0 and their samples are not stored.
    alignas(64) double last[kLanes] = {};
    for (int32_t lane = 0; lane < tail; ++lane) {
      last[lane] = phase;
      phase += step;
    }
    __m512d first;
    __m512d second;
    sincosInterleaved(_mm512_load_pd(last), first, second);
    double* out = samples + static_cast<std::ptrdiff_t>(fullBlocks) * 2 * kLanes;
    const int32_t doubles = 2 * tail;  // 2 to 14
    const auto firstMask = static_cast<__mmask8>(doubles >= kLanes ? 0xff : (1U << doubles) - 1U);
    const auto secondMask =
        static_cast<__mmask8>(doubles > kLanes ? (1U << (doubles - kLanes)) - 1U : 0U);
    _mm512_mask_storeu_pd(out, firstMask, first);
    _mm512_mask_storeu_pd(out + kLanes, secondMask, second);
  }
  return phase;
}

void advanceTonePhasesAvx512(double* tonePhase, const double* phaseStep, std::size_t toneCount,
                             double n) {
  const __m512d samplesPerSymbol = _mm512_set1_pd(n);
  const __m512d twoPi = _mm512_set1_pd(kTwoPi);
  std::size_t t = 0;
  for (; t + kLanes <= toneCount; t += kLanes) {
    __m512d x = _mm512_add_pd(_mm512_mul_pd(samplesPerSymbol, _mm512_loadu_pd(phaseStep + t)),
                              _mm512_loadu_pd(tonePhase + t));
    const __mmask8 wrap = _mm512_cmp_pd_mask(x, twoPi, _CMP_GE_OQ);
    x = _mm512_mask_sub_pd(x, wrap, x, twoPi);
    _mm512_storeu_pd(tonePhase + t, x);
  }
  if (t < toneCount) {
    const auto rest = static_cast<__mmask8>((1U << (toneCount - t)) - 1U);
    __m512d x =
        _mm512_add_pd(_mm512_mul_pd(samplesPerSymbol, _mm512_maskz_loadu_pd(rest, phaseStep + t)),
                      _mm512_maskz_loadu_pd(rest, tonePhase + t));
    const __mmask8 wrap = _mm512_cmp_pd_mask(x, twoPi, _CMP_GE_OQ);
    x = _mm512_mask_sub_pd(x, wrap, x, twoPi);
    _mm512_mask_storeu_pd(tonePhase + t, rest, x);
  }
}

}  // namespace quenvarith::detail
