// Vector constants of the AVX-512 kernel, loaded as whole vectors (sincos_constants.h says
// why). Include only from files compiled for AVX-512F.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "block/tone_kernel/sincos_constants.h"

namespace quenvarith::tone_kernel::avx512 {

constexpr int32_t kLanes = 8;

using DoubleLanes = Lanes<double, kLanes>;
using IntegerLanes = Lanes<int64_t, kLanes>;

[[gnu::always_inline]] inline __m512d load(const DoubleLanes& lanes) {
  return _mm512_load_pd(lanes.value);
}
[[gnu::always_inline]] inline __m512i load(const IntegerLanes& lanes) {
  return _mm512_load_si512(lanes.value);
}

// Row i holds i in every lane: the index that moves lane i to every lane.
inline constexpr IntegerLanes kLaneIndex[kLanes] = {
    inEveryLane<kLanes>(int64_t{0}), inEveryLane<kLanes>(int64_t{1}),
    inEveryLane<kLanes>(int64_t{2}), inEveryLane<kLanes>(int64_t{3}),
    inEveryLane<kLanes>(int64_t{4}), inEveryLane<kLanes>(int64_t{5}),
    inEveryLane<kLanes>(int64_t{6}), inEveryLane<kLanes>(int64_t{7})};

// Lane `lane` (0 to 7) of `vector`, in every lane.
[[gnu::always_inline]] inline __m512d laneInEveryLane(__m512d vector, int32_t lane) {
  // The zero-masking form with every lane kept: the plain one starts from an undefined vector,
  // which GCC 12 reports as possibly uninitialised.
  return _mm512_maskz_permutexvar_pd(0xff, load(kLaneIndex[lane]), vector);
}

}  // namespace quenvarith::tone_kernel::avx512
