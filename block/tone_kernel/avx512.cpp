// The AVX-512 kernel with our own sincos (tone_kernel_avx512_sincos.h, within 1 ulp for
// |phase| <= 2^31), which is cheaper than SLEEF's 1-ulp one because it needs no double-double
// polynomial. A vector with any phase beyond that range, or not finite, goes to SLEEF's u10
// sincos whole. The tone advance is the SLEEF kernel's (it computes no sine). Compiled with
// AVX-512F enabled and without contraction: the phases are the serial add chain's, and the
// fused multiply-adds inside the sincos are explicit.
#include <immintrin.h>
#include <sleef.h>

#include <cstdint>

#include "block/tone_kernel/avx512_emit.h"
#include "block/tone_kernel/avx512_phase.h"
#include "block/tone_kernel/avx512_sincos.h"
#include "block/tone_kernel/stream.h"
#include "block/tone_kernel/kernels.h"

namespace quenvarith::detail {

namespace {

// (cos, sin) of 8 phases, interleaved into two vectors of 4 complex samples each.
[[gnu::always_inline]] inline void sincosInterleaved(__m512d phases, __m512d& first,
                                                     __m512d& second) {
  const avx512::SinCosConstants& constants = avx512::sinCosConstants();
  if (avx512::allReducible(constants, phases)) [[likely]] {
    const avx512::SinCos sinCos = avx512::sinCosReduced(constants, phases);
    avx512::interleave(sinCos.cos, sinCos.sin, first, second);
    return;
  }
  const Sleef___m512d_2 sinCos = Sleef_sincosd8_u10avx512f(phases);
  avx512::interleave(sinCos.y, sinCos.x, first, second);
}

}  // namespace

double appendPhasesAvx512Poly(ToneSynthesisState& state, double phase, double step, int32_t count) {
  return appendPhases<avx512::VerifiedChain>(state, phase, step, count,
                                             avx512::Emitter<sincosInterleaved>{});
}

double appendFrameAvx512Poly(ToneSynthesisState& state, const ToneFrame& frame, double phase) {
  return avx512::appendFrame(state, frame, phase, avx512::Emitter<sincosInterleaved>{});
}

void flushPhasesAvx512Poly(ToneSynthesisState& state) {
  flushPhases(state, avx512::Emitter<sincosInterleaved>{});
}

}  // namespace quenvarith::detail
