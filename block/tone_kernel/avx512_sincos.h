// Sine and cosine of 8 doubles with AVX-512F, within 1 ulp for |x| <= 2^31: Cody-Waite reduction
// by pi/2 in three parts into a double-double remainder, and the classic minimax kernels on
// [-pi/4, pi/4] (those of the freely redistributable fdlibm, in their later branch-free form),
// with the constants of sincos_constants.h. Include only from files compiled for AVX-512F.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "block/tone_kernel/avx512_lanes.h"

namespace quenvarith::tone_kernel::avx512 {

struct SinCos {
  __m512d sin;
  __m512d cos;
};

using SinCosConstants = tone_kernel::SinCosConstants<kLanes>;

// The constants behind a pointer the optimiser cannot see through, so that it loads them
// instead of folding them back into broadcasts.
[[gnu::always_inline]] inline const SinCosConstants& sinCosConstants() {
  const SinCosConstants* constants = &kSinCosConstants<kLanes>;
  asm("" : "+r"(constants));  // emits no instruction
  return *constants;
}

// x = k * pi/2 + r for |x| <= 2^31, r = hi + lo with |r| <= pi/4 (a hair more at ties), and the
// low two bits of k. pi/2 is split in three doubles: x - k * part1 is exact (both are multiples
// of 2^-52 and the difference is below 2), k * part2 is split exactly with a fused
// multiply-add, and k * part3 (below 2^-76) rounds far below the last place of any remainder
// a double under 2^31 can leave (no closer to a multiple of pi/2 than about 2^-60).
[[gnu::always_inline]] inline __m512d reduceByHalfPi(const SinCosConstants& c, __m512d x,
                                                     __m512d& low, __m512i& quadrant) {
  const __m512d shift = load(c.roundingShift);
  const __m512d shifted = _mm512_fmadd_pd(x, load(c.twoOverPi), shift);
  quadrant = _mm512_castpd_si512(shifted);
  const __m512d k = _mm512_sub_pd(shifted, shift);

  const __m512d r1 = _mm512_fnmadd_pd(k, load(c.halfPi1), x);  // exact
  const __m512d halfPi2 = load(c.halfPi2);
  const __m512d p2 = _mm512_mul_pd(k, halfPi2);
  const __m512d p2Error = _mm512_fmsub_pd(k, halfPi2, p2);  // k * part2 = p2 + p2Error exactly
  // t + tError = r1 - p2 exactly, by the two-operation sum, which is exact when r1's last place
  // is at or above p2's: for k = 0, p2 is 0; otherwise |x| >= pi/4, so x and k * part1 are
  // multiples of 2^-53, and so is r1 (below 1), while |p2| < 2^-23 puts p2's last place at or
  // below 2^-76.
  const __m512d t = _mm512_sub_pd(r1, p2);
  const __m512d tError = _mm512_sub_pd(_mm512_sub_pd(r1, t), p2);
  const __m512d tail = _mm512_fnmadd_pd(k, load(c.halfPi3), _mm512_sub_pd(tError, p2Error));
  const __m512d high = _mm512_add_pd(t, tail);
  low = _mm512_add_pd(_mm512_sub_pd(t, high), tail);
  return high;
}

// sin(x + y) for |x| <= pi/4 and |y| below half an ulp of x.
[[gnu::always_inline]] inline __m512d sinKernel(const SinCosConstants& c, __m512d x, __m512d y,
                                                __m512d z) {
  const __m512d w = _mm512_mul_pd(z, z);
  // r = s2 + z * (s3 + z * s4) + z * w * (s5 + z * s6)
  const __m512d r =
      _mm512_fmadd_pd(_mm512_mul_pd(z, w), _mm512_fmadd_pd(z, load(c.s6), load(c.s5)),
                      _mm512_fmadd_pd(z, _mm512_fmadd_pd(z, load(c.s4), load(c.s3)), load(c.s2)));
  const __m512d v = _mm512_mul_pd(z, x);
  // x - ((z * (y/2 - v * r) - y) - v * s1)
  const __m512d inner = _mm512_fnmadd_pd(v, r, _mm512_mul_pd(load(c.half), y));
  const __m512d sum = _mm512_fnmadd_pd(v, load(c.s1), _mm512_fmsub_pd(z, inner, y));
  return _mm512_sub_pd(x, sum);
}

// cos(x + y) for |x| <= pi/4 and |y| below half an ulp of x.
[[gnu::always_inline]] inline __m512d cosKernel(const SinCosConstants& c, __m512d x, __m512d y,
                                                __m512d z) {
  const __m512d one = load(c.one);
  const __m512d w = _mm512_mul_pd(z, z);
  // r = z * (c1 + z * (c2 + z * c3)) + w * w * (c4 + z * (c5 + z * c6))
  const __m512d r = _mm512_fmadd_pd(
      _mm512_mul_pd(w, w),
      _mm512_fmadd_pd(z, _mm512_fmadd_pd(z, load(c.c6), load(c.c5)), load(c.c4)),
      _mm512_mul_pd(z, _mm512_fmadd_pd(z, _mm512_fmadd_pd(z, load(c.c3), load(c.c2)), load(c.c1))));
  // 1 - z/2 in two parts: w1 rounded, and what its rounding lost, exactly.
  const __m512d hz = _mm512_mul_pd(load(c.half), z);
  const __m512d w1 = _mm512_sub_pd(one, hz);
  const __m512d lost = _mm512_sub_pd(_mm512_sub_pd(one, w1), hz);
  // w1 + (lost + (z * r - x * y))
  return _mm512_add_pd(w1, _mm512_add_pd(lost, _mm512_fmsub_pd(z, r, _mm512_mul_pd(x, y))));
}

// Sine and cosine of every lane; lanes with |x| > kSinCosReducedLimit (or not finite) give
// meaningless values and must be computed another way.
[[gnu::always_inline]] inline SinCos sinCosReduced(const SinCosConstants& c, __m512d x) {
  __m512d low;
  __m512i quadrant;
  const __m512d high = reduceByHalfPi(c, x, low, quadrant);
  const __m512d z = _mm512_mul_pd(high, high);
  const __m512d sinR = sinKernel(c, high, low, z);
  const __m512d cosR = cosKernel(c, high, low, z);
  // Quadrant 1: (sin, cos) = (cos r, -sin r); 2: (-sin r, -cos r); 3: (-cos r, sin r).
  const __m512i oddQuadrant = load(c.oddQuadrant);
  const __m512i negatedQuadrant = load(c.negatedQuadrant);
  const __mmask8 odd = _mm512_test_epi64_mask(quadrant, oddQuadrant);
  const __m512i sinR64 = _mm512_castpd_si512(sinR);
  const __m512i cosR64 = _mm512_castpd_si512(cosR);
  const __mmask8 sinNegated = _mm512_test_epi64_mask(quadrant, negatedQuadrant);
  const __mmask8 cosNegated =
      _mm512_test_epi64_mask(_mm512_add_epi64(quadrant, oddQuadrant), negatedQuadrant);
  const __m512i signBit = load(c.signBit);
  const __m512i sinBits = _mm512_mask_blend_epi64(odd, sinR64, cosR64);
  const __m512i cosBits = _mm512_mask_blend_epi64(odd, cosR64, sinR64);
  return {_mm512_castsi512_pd(_mm512_mask_xor_epi64(sinBits, sinNegated, sinBits, signBit)),
          _mm512_castsi512_pd(_mm512_mask_xor_epi64(cosBits, cosNegated, cosBits, signBit))};
}

// Whether every lane is within the reduction's range (false for infinities and NaNs).
[[gnu::always_inline]] inline bool allReducible(const SinCosConstants& c, __m512d x) {
  const __m512d magnitude =
      _mm512_castsi512_pd(_mm512_and_epi64(_mm512_castpd_si512(x), load(c.magnitudeBits)));
  return _mm512_cmp_pd_mask(magnitude, load(c.reducedLimit), _CMP_LE_OQ) == 0xff;
}

}  // namespace quenvarith::tone_kernel::avx512
