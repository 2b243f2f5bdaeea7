// The AVX2 kernels: SLEEF's 4-wide sincos (1-ulp class) over blocks of 4 phases. Compiled with
// AVX2 and FMA enabled (SLEEF's AVX2 functions need both) and without contraction to fused
// multiply-add, so the phases and the tone advance round exactly as the plain loops do.
#include <immintrin.h>
#include <sleef.h>

#include <cstdint>

#include "block/tone_generation.h"
#include "block/tone_kernel_vector.h"

namespace quenvarith::detail {

namespace {

constexpr int32_t kLanes = 4;
// The serial add chain runs this many blocks ahead of the sincos, so that a block's phases are
// in the cache by the time they are loaded as one vector and the chain overlaps the sincos.
constexpr int32_t kAhead = 3;
constexpr int32_t kRingBlocks = kAhead + 1;

// Writes the next kLanes phases of the chain into `block`.
inline double fillPhases(double phase, double step, double* block) {
  for (int32_t lane = 0; lane < kLanes; ++lane) {
    block[lane] = phase;
    phase += step;
  }
  return phase;
}

// (cos, sin) of 4 phases, interleaved into two vectors of 2 complex samples each.
inline void sincosInterleaved(__m256d phases, __m256d& first, __m256d& second) {
  const Sleef___m256d_2 sinCos = Sleef_sincosd4_u10avx2(phases);
  const __m256d even = _mm256_unpacklo_pd(sinCos.y, sinCos.x);  // c0 s0 c2 s2
  const __m256d odd = _mm256_unpackhi_pd(sinCos.y, sinCos.x);   // c1 s1 c3 s3
  first = _mm256_permute2f128_pd(even, odd, 0x20);
  second = _mm256_permute2f128_pd(even, odd, 0x31);
}

}  // namespace

double synthesizeToneAvx2(double startPhase, double step, int32_t count, double* samples) {
  if (count <= 0) return startPhase;
  alignas(32) double ring[kRingBlocks * kLanes];
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
    __m256d first;
    __m256d second;
    sincosInterleaved(_mm256_load_pd(ring + (block % kRingBlocks) * kLanes), first, second);
    double* out = samples + static_cast<std::ptrdiff_t>(block) * 2 * kLanes;
    _mm256_storeu_pd(out, first);
    _mm256_storeu_pd(out + kLanes, second);
  }
  if (tail > 0) {
    // The last few phases; the unused lanes get 0 and their samples are not stored.
    alignas(32) double last[kLanes] = {};
    for (int32_t lane = 0; lane < tail; ++lane) {
      last[lane] = phase;
      phase += step;
    }
    alignas(32) double interleaved[2 * kLanes];
    __m256d first;
    __m256d second;
    sincosInterleaved(_mm256_load_pd(last), first, second);
    _mm256_store_pd(interleaved, first);
    _mm256_store_pd(interleaved + kLanes, second);
    double* out = samples + static_cast<std::ptrdiff_t>(fullBlocks) * 2 * kLanes;
    for (int32_t index = 0; index < 2 * tail; ++index) out[index] = interleaved[index];
  }
  return phase;
}

void advanceTonePhasesAvx2(double* tonePhase, const double* phaseStep, std::size_t toneCount,
                           double n) {
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
    if (x >= kTwoPi) x -= kTwoPi;
    tonePhase[t] = x;
  }
}

}  // namespace quenvarith::detail
