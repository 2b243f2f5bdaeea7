#include "engine/narrowing.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "engine/little_endian.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace quenvarith::engine {

namespace {

constexpr double kLargestFloat = std::numeric_limits<float>::max();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// A double as a float, saturating to infinity where a float cannot hold it: a conversion alone
// would round the values just above the largest float down to it.
float narrow(double value) {
  return static_cast<float>(std::fabs(value) > kLargestFloat ? std::copysign(kInfinity, value)
                                                             : value);
}

void narrowPlainly(std::span<const double> values, char* out) {
  for (size_t i = 0; i < values.size(); ++i) {
    storeLittleEndian<float, uint32_t>(out + i * sizeof(float), narrow(values[i]));
  }
}

#if defined(__x86_64__) || defined(__i386__)

// Four values: those beyond the largest float become an infinity of their sign, then all are
// converted as the scalar conversion would, under the same rounding mode.
[[gnu::target("avx2"), gnu::always_inline]] inline __m128 narrowFour(const double* values) {
  const __m256d signBit = _mm256_set1_pd(-0.0);
  const __m256d value = _mm256_loadu_pd(values);
  const __m256d beyond =
      _mm256_cmp_pd(_mm256_andnot_pd(signBit, value), _mm256_set1_pd(kLargestFloat), _CMP_GT_OQ);
  const __m256d infinity = _mm256_or_pd(_mm256_and_pd(signBit, value), _mm256_set1_pd(kInfinity));
  return _mm256_cvtpd_ps(_mm256_blendv_pd(value, infinity, beyond));
}

// Eight at a time, two independent conversions per iteration; the rest plainly.
[[gnu::target("avx2")]] void narrowWithAvx2(std::span<const double> values, char* out) {
  constexpr size_t kLanes = 8;
  size_t i = 0;
  for (; i + kLanes <= values.size(); i += kLanes) {
    const __m128 low = narrowFour(values.data() + i);
    const __m128 high = narrowFour(values.data() + i + kLanes / 2);
    _mm_storeu_ps(reinterpret_cast<float*>(out + i * sizeof(float)), low);
    _mm_storeu_ps(reinterpret_cast<float*>(out + (i + kLanes / 2) * sizeof(float)), high);
  }
  narrowPlainly(values.subspan(i), out + i * sizeof(float));
}

#else

void narrowWithAvx2(std::span<const double> values, char* out) {
  narrowPlainly(values, out);
}

#endif

}  // namespace

void narrowToFloats(std::span<const double> values, char* out, VectorLevel level) {
  if (level == VectorLevel::Avx2 && runsHere(level)) {
    narrowWithAvx2(values, out);
  } else {
    narrowPlainly(values, out);
  }
}

}  // namespace quenvarith::engine
