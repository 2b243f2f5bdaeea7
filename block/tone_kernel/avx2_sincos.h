// Sine and cosine of 4 doubles with AVX2 and FMA, within 1 ulp for |x| <= 2^31: the AVX-512
// routine (avx512_sincos.h) four lanes wide, operation for operation, so that both give the
// same bits. Cody-Waite reduction by pi/2 in three parts into a double-double remainder, and
// the classic minimax kernels on [-pi/4, pi/4], with the constants of sincos_constants.h.
// Include only from files compiled for AVX2 and FMA.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "block/tone_kernel/sincos_constants.h"

namespace quenvarith::tone_kernel::avx2 {

constexpr int32_t kLanes = 4;

using DoubleLanes = Lanes<double, kLanes>;
using IntegerLanes = Lanes<int64_t, kLanes>;
using SinCosConstants = tone_kernel::SinCosConstants<kLanes>;

[[gnu::always_inline]] inline __m256d load(const DoubleLanes& lanes) {
  return _mm256_load_pd(lanes.value);
}
[[gnu::always_inline]] inline __m256i load(const IntegerLanes& lanes) {
  return _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes.value));
}

struct SinCos {
  __m256d sin;
  __m256d cos;
};

// The constants behind a pointer the optimiser cannot see through, so that it loads them
// instead of folding them back into broadcasts.
[[gnu::always_inline]] inline const SinCosConstants& sinCosConstants() {
  const SinCosConstants* constants = &kSinCosConstants<kLanes>;
  asm("" : "+r"(constants));  // emits no instruction
  return *constants;
}

// x = k * pi/2 + r for |x| <= 2^31, r = hi + lo, and the low two bits of k; avx512_sincos.h
// explains why each step is exact.
[[gnu::always_inline]] inline __m256d reduceByHalfPi(const SinCosConstants& c, __m256d x,
                                                     __m256d& low, __m256i& quadrant) {
  const __m256d shift = load(c.roundingShift);
  const __m256d shifted = _mm256_fmadd_pd(x, load(c.twoOverPi), shift);
  quadrant = _mm256_castpd_si256(shifted);
  const __m256d k = _mm256_sub_pd(shifted, shift);

  const __m256d r1 = _mm256_fnmadd_pd(k, load(c.halfPi1), x);  // exact
  const __m256d halfPi2 = load(c.halfPi2);
  const __m256d p2 = _mm256_mul_pd(k, halfPi2);
  const __m256d p2Error = _mm256_fmsub_pd(k, halfPi2, p2);  // k * part2 = p2 + p2Error exactly
  const __m256d t = _mm256_sub_pd(r1, p2);
  const __m256d tError = _mm256_sub_pd(_mm256_sub_pd(r1, t), p2);  // r1 - p2 = t + tError
  const __m256d tail = _mm256_fnmadd_pd(k, load(c.halfPi3), _mm256_sub_pd(tError, p2Error));
  const __m256d high = _mm256_add_pd(t, tail);
  low = _mm256_add_pd(_mm256_sub_pd(t, high), tail);
  return high;
}

// sin(x + y) for |x| <= pi/4 and |y| below half an ulp of x.
[[gnu::always_inline]] inline __m256d sinKernel(const SinCosConstants& c, __m256d x, __m256d y,
                                                __m256d z) {
  const __m256d w = _mm256_mul_pd(z, z);
  // r = s2 + z * (s3 + z * s4) + z * w * (s5 + z * s6)
  const __m256d r =
      _mm256_fmadd_pd(_mm256_mul_pd(z, w), _mm256_fmadd_pd(z, load(c.s6), load(c.s5)),
                      _mm256_fmadd_pd(z, _mm256_fmadd_pd(z, load(c.s4), load(c.s3)), load(c.s2)));
  const __m256d v = _mm256_mul_pd(z, x);
  // x - ((z * (y/2 - v * r) - y) - v * s1)
  const __m256d inner = _mm256_fnmadd_pd(v, r, _mm256_mul_pd(load(c.half), y));
  const __m256d sum = _mm256_fnmadd_pd(v, load(c.s1), _mm256_fmsub_pd(z, inner, y));
  return _mm256_sub_pd(x, sum);
}

// cos(x + y) for |x| <= pi/4 and |y| below half an ulp of x.
[[gnu::always_inline]] inline __m256d cosKernel(const SinCosConstants& c, __m256d x, __m256d y,
                                                __m256d z) {
  const __m256d one = load(c.one);
  const __m256d w = _mm256_mul_pd(z, z);
  // r = z * (c1 + z * (c2 + z * c3)) + w * w * (c4 + z * (c5 + z * c6))
  const __m256d r = _mm256_fmadd_pd(
      _mm256_mul_pd(w, w),
      _mm256_fmadd_pd(z, _mm256_fmadd_pd(z, load(c.c6), load(c.c5)), load(c.c4)),
      _mm256_mul_pd(z, _mm256_fmadd_pd(z, _mm256_fmadd_pd(z, load(c.c3), load(c.c2)), load(c.c1))));
  // 1 - z/2 in two parts: w1 rounded, and what its rounding lost, exactly.
  const __m256d hz = _mm256_mul_pd(load(c.half), z);
  const __m256d w1 = _mm256_sub_pd(one, hz);
  const __m256d lost = _mm256_sub_pd(_mm256_sub_pd(one, w1), hz);
  // w1 + (lost + (z * r - x * y))
  return _mm256_add_pd(w1, _mm256_add_pd(lost, _mm256_fmsub_pd(z, r, _mm256_mul_pd(x, y))));
}

// Sine and cosine of every lane; lanes with |x| > kSinCosReducedLimit (or not finite) give
// meaningless values and must be computed another way.
[[gnu::always_inline]] inline SinCos sinCosReduced(const SinCosConstants& c, __m256d x) {
  __m256d low;
  __m256i quadrant;
  const __m256d high = reduceByHalfPi(c, x, low, quadrant);
  const __m256d z = _mm256_mul_pd(high, high);
  const __m256d sinR = sinKernel(c, high, low, z);
  const __m256d cosR = cosKernel(c, high, low, z);
  // Quadrant 1: (sin, cos) = (cos r, -sin r); 2: (-sin r, -cos r); 3: (-cos r, sin r). Bit 0
  // of k swaps, as bits: with d = (sin r ^ cos r) in odd lanes, sin r ^ d and cos r ^ d. Bit 1
  // of k negates the sine, bit 1 of k + 1 (bit 1 of k ^ bit 0 of k) the cosine.
  const __m256i oddSign = _mm256_slli_epi64(quadrant, 63);
  const __m256i odd = _mm256_cmpgt_epi64(_mm256_setzero_si256(), oddSign);
  const __m256i sinSign = _mm256_and_si256(_mm256_slli_epi64(quadrant, 62), load(c.signBit));
  const __m256i sinBits = _mm256_castpd_si256(sinR);
  const __m256i cosBits = _mm256_castpd_si256(cosR);
  const __m256i swap = _mm256_and_si256(_mm256_xor_si256(sinBits, cosBits), odd);
  const __m256i sinChange = _mm256_xor_si256(swap, sinSign);
  const __m256i cosChange = _mm256_xor_si256(sinChange, oddSign);
  return {_mm256_castsi256_pd(_mm256_xor_si256(sinBits, sinChange)),
          _mm256_castsi256_pd(_mm256_xor_si256(cosBits, cosChange))};
}

// Whether every lane is within the reduction's range (false for infinities and NaNs).
[[gnu::always_inline]] inline bool allReducible(const SinCosConstants& c, __m256d x) {
  const __m256d magnitude = _mm256_and_pd(x, _mm256_castsi256_pd(load(c.magnitudeBits)));
  const __m256d inRange = _mm256_cmp_pd(magnitude, load(c.reducedLimit), _CMP_LE_OQ);
  return _mm256_movemask_pd(inRange) == (1 << kLanes) - 1;
}

}  // namespace quenvarith::tone_kernel::avx2
