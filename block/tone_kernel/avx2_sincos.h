// Sine and cosine of 4 doubles with AVX2 and FMA, within 1 ulp for |x| <= 2^31: the AVX-512
// routine (avx512_sincos.h) four lanes wide, operation for operation, so that both give the
// same bits. Cody-Waite reduction by pi/2 in three parts into a double-double remainder, and
// the classic minimax kernels on [-pi/4, pi/4], with the constants of sincos_constants.h.
// Two vectors at a time: one vector's sincos is a chain of some forty dependent operations,
// too long for the scheduler to overlap with the next on its own, so every step is issued for
// both vectors before the next step. Include only from files compiled for AVX2 and FMA.
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

// Two vectors of doubles (8 lanes), and of 64-bit integers; the operations below take each
// step for `a`, then for `b`.
struct Doubles {
  __m256d a;
  __m256d b;
};
struct Integers {
  __m256i a;
  __m256i b;
};

// A constant in both vectors.
[[gnu::always_inline]] inline Doubles both(const DoubleLanes& lanes) {
  const __m256d value = load(lanes);
  return {value, value};
}
[[gnu::always_inline]] inline Integers both(const IntegerLanes& lanes) {
  const __m256i value = load(lanes);
  return {value, value};
}

[[gnu::always_inline]] inline Doubles add(Doubles x, Doubles y) {
  return {_mm256_add_pd(x.a, y.a), _mm256_add_pd(x.b, y.b)};
}
[[gnu::always_inline]] inline Doubles sub(Doubles x, Doubles y) {
  return {_mm256_sub_pd(x.a, y.a), _mm256_sub_pd(x.b, y.b)};
}
[[gnu::always_inline]] inline Doubles mul(Doubles x, Doubles y) {
  return {_mm256_mul_pd(x.a, y.a), _mm256_mul_pd(x.b, y.b)};
}
// x * y + z, x * y - z and z - x * y, each rounded once.
[[gnu::always_inline]] inline Doubles fmadd(Doubles x, Doubles y, Doubles z) {
  return {_mm256_fmadd_pd(x.a, y.a, z.a), _mm256_fmadd_pd(x.b, y.b, z.b)};
}
[[gnu::always_inline]] inline Doubles fmsub(Doubles x, Doubles y, Doubles z) {
  return {_mm256_fmsub_pd(x.a, y.a, z.a), _mm256_fmsub_pd(x.b, y.b, z.b)};
}
[[gnu::always_inline]] inline Doubles fnmadd(Doubles x, Doubles y, Doubles z) {
  return {_mm256_fnmadd_pd(x.a, y.a, z.a), _mm256_fnmadd_pd(x.b, y.b, z.b)};
}

[[gnu::always_inline]] inline Integers bits(Doubles x) {
  return {_mm256_castpd_si256(x.a), _mm256_castpd_si256(x.b)};
}
[[gnu::always_inline]] inline Doubles doubles(Integers x) {
  return {_mm256_castsi256_pd(x.a), _mm256_castsi256_pd(x.b)};
}
[[gnu::always_inline]] inline Integers bitAnd(Integers x, Integers y) {
  return {_mm256_and_si256(x.a, y.a), _mm256_and_si256(x.b, y.b)};
}
[[gnu::always_inline]] inline Integers bitXor(Integers x, Integers y) {
  return {_mm256_xor_si256(x.a, y.a), _mm256_xor_si256(x.b, y.b)};
}
template <int kShift>
[[gnu::always_inline]] inline Integers shiftLeft(Integers x) {
  return {_mm256_slli_epi64(x.a, kShift), _mm256_slli_epi64(x.b, kShift)};
}
// All ones where x > y as signed integers.
[[gnu::always_inline]] inline Integers greater(Integers x, Integers y) {
  return {_mm256_cmpgt_epi64(x.a, y.a), _mm256_cmpgt_epi64(x.b, y.b)};
}

struct SinCos {
  Doubles sin;
  Doubles cos;
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
[[gnu::always_inline]] inline Doubles reduceByHalfPi(const SinCosConstants& c, Doubles x,
                                                     Doubles& low, Integers& quadrant) {
  const Doubles shift = both(c.roundingShift);
  const Doubles shifted = fmadd(x, both(c.twoOverPi), shift);
  quadrant = bits(shifted);
  const Doubles k = sub(shifted, shift);

  const Doubles r1 = fnmadd(k, both(c.halfPi1), x);  // exact
  const Doubles halfPi2 = both(c.halfPi2);
  const Doubles p2 = mul(k, halfPi2);
  const Doubles p2Error = fmsub(k, halfPi2, p2);  // k * part2 = p2 + p2Error exactly
  const Doubles t = sub(r1, p2);
  const Doubles tError = sub(sub(r1, t), p2);  // r1 - p2 = t + tError
  const Doubles tail = fnmadd(k, both(c.halfPi3), sub(tError, p2Error));
  const Doubles high = add(t, tail);
  low = add(sub(t, high), tail);
  return high;
}

// sin(x + y) for |x| <= pi/4 and |y| below half an ulp of x; w = z * z.
[[gnu::always_inline]] inline Doubles sinKernel(const SinCosConstants& c, Doubles x, Doubles y,
                                                Doubles z, Doubles w) {
  // r = s2 + z * (s3 + z * s4) + z * w * (s5 + z * s6)
  const Doubles r = fmadd(mul(z, w), fmadd(z, both(c.s6), both(c.s5)),
                          fmadd(z, fmadd(z, both(c.s4), both(c.s3)), both(c.s2)));
  const Doubles v = mul(z, x);
  // x - ((z * (y/2 - v * r) - y) - v * s1)
  const Doubles inner = fnmadd(v, r, mul(both(c.half), y));
  const Doubles sum = fnmadd(v, both(c.s1), fmsub(z, inner, y));
  return sub(x, sum);
}

// cos(x + y) for |x| <= pi/4 and |y| below half an ulp of x; w = z * z.
[[gnu::always_inline]] inline Doubles cosKernel(const SinCosConstants& c, Doubles x, Doubles y,
                                                Doubles z, Doubles w) {
  const Doubles one = both(c.one);
  // r = z * (c1 + z * (c2 + z * c3)) + w * w * (c4 + z * (c5 + z * c6))
  const Doubles r = fmadd(mul(w, w), fmadd(z, fmadd(z, both(c.c6), both(c.c5)), both(c.c4)),
                          mul(z, fmadd(z, fmadd(z, both(c.c3), both(c.c2)), both(c.c1))));
  // 1 - z/2 in two parts: w1 rounded, and what its rounding lost, exactly.
  const Doubles hz = mul(both(c.half), z);
  const Doubles w1 = sub(one, hz);
  const Doubles lost = sub(sub(one, w1), hz);
  // w1 + (lost + (z * r - x * y))
  return add(w1, add(lost, fmsub(z, r, mul(x, y))));
}

// Sine and cosine of every lane; lanes with |x| > kSinCosReducedLimit (or not finite) give
// meaningless values and must be computed another way.
[[gnu::always_inline]] inline SinCos sinCosReduced(const SinCosConstants& c, Doubles x) {
  Doubles low;
  Integers quadrant;
  const Doubles high = reduceByHalfPi(c, x, low, quadrant);
  const Doubles z = mul(high, high);
  const Doubles w = mul(z, z);
  const Doubles sinR = sinKernel(c, high, low, z, w);
  const Doubles cosR = cosKernel(c, high, low, z, w);
  // Quadrant 1: (sin, cos) = (cos r, -sin r); 2: (-sin r, -cos r); 3: (-cos r, sin r). Bit 0
  // of k swaps, as bits: with d = (sin r ^ cos r) in odd lanes, sin r ^ d and cos r ^ d. Bit 1
  // of k negates the sine, bit 1 of k + 1 (bit 1 of k ^ bit 0 of k) the cosine.
  const Integers oddSign = shiftLeft<63>(quadrant);
  const Integers odd = greater(Integers{}, oddSign);
  const Integers sinSign = bitAnd(shiftLeft<62>(quadrant), both(c.signBit));
  const Integers sinBits = bits(sinR);
  const Integers cosBits = bits(cosR);
  const Integers swap = bitAnd(bitXor(sinBits, cosBits), odd);
  const Integers sinChange = bitXor(swap, sinSign);
  const Integers cosChange = bitXor(sinChange, oddSign);
  return {doubles(bitXor(sinBits, sinChange)), doubles(bitXor(cosBits, cosChange))};
}

// Whether every lane is within the reduction's range (false for infinities and NaNs). Compared
// as integers: the bits of doubles without sign order as their magnitudes, NaNs above all, and
// the integer compare leaves the ports of the floating-point operations to the sincos.
[[gnu::always_inline]] inline bool allReducible(const SinCosConstants& c, Doubles x) {
  const Integers magnitude = bitAnd(bits(x), both(c.magnitudeBits));
  const Integers beyond = greater(magnitude, bits(both(c.reducedLimit)));
  return _mm256_movemask_pd(_mm256_castsi256_pd(_mm256_or_si256(beyond.a, beyond.b))) == 0;
}

}  // namespace quenvarith::tone_kernel::avx2
