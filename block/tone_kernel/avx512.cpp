// The AVX-512 kernel: our own 8-wide sincos (avx512_sincos.h, within 1 ulp for |phase| <= 2^31),
// cheaper than SLEEF's 1-ulp one because it needs no double-double polynomial. A vector with any
// phase beyond that range, or not finite, goes to SLEEF's u10 sincos whole. Compiled with
// AVX-512F enabled and without contraction: the phases are the serial add chain's, and the
// fused multiply-adds inside the sincos are explicit.
#include <immintrin.h>
#include <sleef.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "block/tone_generation.h"
#include "block/tone_kernel/avx512_emit.h"
#include "block/tone_kernel/avx512_phase.h"
#include "block/tone_kernel/avx512_sincos.h"
#include "block/tone_kernel/kernels.h"
#include "block/tone_kernel/stream.h"

namespace quenvarith::tone_kernel::avx512 {

namespace {

// (cos, sin) of 8 phases, interleaved into two vectors of 4 complex samples each.
[[gnu::always_inline]] inline void sincosInterleaved(__m512d phases, __m512d& first,
                                                     __m512d& second) {
  const SinCosConstants& constants = sinCosConstants();
  if (allReducible(constants, phases)) [[likely]] {
    const SinCos sinCos = sinCosReduced(constants, phases);
    interleave(sinCos.cos, sinCos.sin, first, second);
    return;
  }
  const Sleef___m512d_2 sinCos = Sleef_sincosd8_u10avx512f(phases);
  interleave(sinCos.y, sinCos.x, first, second);
}

using Emit = Emitter<sincosInterleaved>;

// The tones in a register from the frame's start to its end where they fit one.
template <typename Synthesize>
[[gnu::always_inline]] inline double withTones(const ToneFrame& frame, Synthesize synthesize) {
  return withToneBank<RegisterToneBank, MemoryToneBank<advanceTones>>(frame, synthesize);
}

}  // namespace

double appendSymbol(ToneSynthesisState& state, double phase, double step, int32_t count) {
  return synthesizeSymbol<VerifiedChain>(state, phase, step, count, Emit{});
}

double appendFrame(ToneSynthesisState& state, const ToneFrame& frame, double phase) {
  return withTones(frame, [&]<typename ToneBank>(std::type_identity<ToneBank>) {
    return synthesizeFrame<VerifiedChain, ToneBank>(state, frame, phase, Emit{});
  });
}

void flush(ToneSynthesisState& state) {
  flushStream(state, Emit{});
}

double appendWholeFrame(const ToneFrame& frame, double phase, double* samples, double* copy) {
  return withTones(frame, [&]<typename ToneBank>(std::type_identity<ToneBank>) {
    return synthesizeFrameAtOnce<VerifiedChain, ToneBank>(frame, phase, samples, copy, Emit{});
  });
}

void advanceTones(double* tonePhase, const double* phaseStep, std::size_t toneCount, double n) {
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

}  // namespace quenvarith::tone_kernel::avx512
