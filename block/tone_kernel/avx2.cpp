// The AVX2 kernels: SLEEF's 4-wide sincos (1-ulp class). Compiled with AVX2 and FMA enabled
// (SLEEF's AVX2 functions need both) and without contraction to fused multiply-add, so the tone
// advance rounds exactly as the plain loop does.
#include <immintrin.h>
#include <sleef.h>

#include <cstdint>

#include "block/tone_generation.h"
#include "block/tone_kernel/kernels.h"
#include "block/tone_kernel/stream.h"

namespace quenvarith::tone_kernel::avx2 {

namespace {

constexpr int32_t kLanes = 4;

// (cos, sin) of 4 phases, interleaved into two vectors of 2 complex samples each.
inline void sincosInterleaved(__m256d phases, __m256d& first, __m256d& second) {
  const Sleef___m256d_2 sinCos = Sleef_sincosd4_u10avx2(phases);
  const __m256d even = _mm256_unpacklo_pd(sinCos.y, sinCos.x);  // c0 s0 c2 s2
  const __m256d odd = _mm256_unpackhi_pd(sinCos.y, sinCos.x);   // c1 s1 c3 s3
  first = _mm256_permute2f128_pd(even, odd, 0x20);
  second = _mm256_permute2f128_pd(even, odd, 0x31);
}

// (cos, sin) of up to 8 phases into 2 * count doubles of `samples` and, unless it is null, of
// `copy`; nothing past them is read or written.
// Inlined into the stream, so that the samples go straight from registers to both places.
[[gnu::always_inline]] inline void emitPhases(const double* phases, int32_t count, double* samples,
                                              double* copy) {
  __m256d first;
  __m256d second;
  int32_t done = 0;
  for (; done + kLanes <= count; done += kLanes) {
    sincosInterleaved(_mm256_loadu_pd(phases + done), first, second);
    _mm256_storeu_pd(samples, first);
    _mm256_storeu_pd(samples + kLanes, second);
    samples += static_cast<std::ptrdiff_t>(2 * kLanes);
    if (copy != nullptr) {
      _mm256_storeu_pd(copy, first);
      _mm256_storeu_pd(copy + kLanes, second);
      copy += static_cast<std::ptrdiff_t>(2 * kLanes);
    }
  }
  const int32_t rest = count - done;
  if (rest <= 0) {
    return;
  }
  // The last phases are copied so that nothing past `count` is read; unused lanes compute 0.
  alignas(32) double padded[kLanes] = {};
  for (int32_t lane = 0; lane < rest; ++lane) {
    padded[lane] = phases[done + lane];
  }
  alignas(32) double interleaved[2 * kLanes];
  sincosInterleaved(_mm256_load_pd(padded), first, second);
  _mm256_store_pd(interleaved, first);
  _mm256_store_pd(interleaved + kLanes, second);
  for (int32_t index = 0; index < 2 * rest; ++index) {
    samples[index] = interleaved[index];
    if (copy != nullptr) {
      copy[index] = interleaved[index];
    }
  }
}

}  // namespace

double appendSymbol(ToneSynthesisState& state, double phase, double step, int32_t count) {
  return synthesizeSymbol(state, phase, step, count, Emitter<emitPhases>{});
}

double appendFrame(ToneSynthesisState& state, const ToneFrame& frame, double phase) {
  return synthesizeFrame<ScalarChain, MemoryToneBank<advanceTones>>(state, frame, phase,
                                                                    Emitter<emitPhases>{});
}

void flush(ToneSynthesisState& state) {
  flushStream(state, Emitter<emitPhases>{});
}

void advanceTones(double* tonePhase, const double* phaseStep, std::size_t toneCount, double n) {
  const __m256d samplesPerSymbol = _mm256_set1_pd(n);
  const __m256d twoPi = _mm256_set1_pd(kTwoPi);
  std::size_t t = 0;
  for (; t + kLanes <= toneCount; t += kLanes) {
    const __m256d x = _mm256_add_pd(_mm256_mul_pd(samplesPerSymbol, _mm256_loadu_pd(phaseStep + t)),
                                    _mm256_loadu_pd(tonePhase + t));
    const __m256d wrap = _mm256_cmp_pd(x, twoPi, _CMP_GE_OQ);
    _mm256_storeu_pd(tonePhase + t, _mm256_blendv_pd(x, _mm256_sub_pd(x, twoPi), wrap));
  }
  for (; t < toneCount; ++t) {
    double x = n * phaseStep[t] + tonePhase[t];
    if (x >= kTwoPi) {
      x -= kTwoPi;
    }
    tonePhase[t] = x;
  }
}

}  // namespace quenvarith::tone_kernel::avx2
