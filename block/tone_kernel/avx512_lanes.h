// Vector constants of the AVX-512 kernels, laid out in memory as the vectors they are loaded
// into. A full-width load costs no vector operation, while the broadcast from one value that a
// compiler makes of a uniform constant (or of a lane index) costs as much as an addition on
// some processors (Zen 4). Include only from files compiled for AVX-512F.
#pragma once

#include <immintrin.h>

#include <cstdint>

namespace quenvarith::tone_kernel::avx512 {

struct alignas(64) Lanes {
  double value[8];
};
struct alignas(64) IntegerLanes {
  int64_t value[8];
};

constexpr Lanes inEveryLane(double value) {
  return {{value, value, value, value, value, value, value, value}};
}
constexpr IntegerLanes inEveryLane(int64_t value) {
  return {{value, value, value, value, value, value, value, value}};
}

[[gnu::always_inline]] inline __m512d load(const Lanes& lanes) {
  return _mm512_load_pd(lanes.value);
}
[[gnu::always_inline]] inline __m512i load(const IntegerLanes& lanes) {
  return _mm512_load_si512(lanes.value);
}

// Row i holds i in every lane: the index that moves lane i to every lane.
inline constexpr IntegerLanes kLaneIndex[8] = {inEveryLane(int64_t{0}), inEveryLane(int64_t{1}),
                                               inEveryLane(int64_t{2}), inEveryLane(int64_t{3}),
                                               inEveryLane(int64_t{4}), inEveryLane(int64_t{5}),
                                               inEveryLane(int64_t{6}), inEveryLane(int64_t{7})};

// Lane `lane` (0 to 7) of `vector`, in every lane.
[[gnu::always_inline]] inline __m512d laneInEveryLane(__m512d vector, int32_t lane) {
  // The zero-masking form with every lane kept: the plain one starts from an undefined vector,
  // which GCC 12 reports as possibly uninitialised.
  return _mm512_maskz_permutexvar_pd(0xff, load(kLaneIndex[lane]), vector);
}

}  // namespace quenvarith::tone_kernel::avx512
