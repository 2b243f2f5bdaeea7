// The AVX-512 kernels: SLEEF's 8-wide sincos (1-ulp class). Compiled with AVX-512F enabled and
// without contraction to fused multiply-add, so the tone advance rounds exactly as the plain
// loop does.
#include <immintrin.h>
#include <sleef.h>

#include <cstdint>

#include "block/tone_generation.h"
#include "block/tone_kernel/avx512_emit.h"
#include "block/tone_kernel/avx512_phase.h"
#include "block/tone_kernel/stream.h"
#include "block/tone_kernel/kernels.h"

namespace quenvarith::detail {

namespace {

using avx512::kLanes;

// (cos, sin) of 8 phases, interleaved into two vectors of 4 complex samples each.
[[gnu::always_inline]] inline void sincosInterleaved(__m512d phases, __m512d& first,
                                                     __m512d& second) {
  const Sleef___m512d_2 sinCos = Sleef_sincosd8_u10avx512f(phases);
  avx512::interleave(sinCos.y, sinCos.x, first, second);
}

}  // namespace

double appendPhasesAvx512(ToneSynthesisState& state, double phase, double step, int32_t count) {
  return appendPhases<avx512::VerifiedChain>(state, phase, step, count,
                                             avx512::Emitter<sincosInterleaved>{});
}

double appendFrameAvx512(ToneSynthesisState& state, const ToneFrame& frame, double phase) {
  return avx512::appendFrame(state, frame, phase, avx512::Emitter<sincosInterleaved>{});
}

void flushPhasesAvx512(ToneSynthesisState& state) {
  flushPhases(state, avx512::Emitter<sincosInterleaved>{});
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
