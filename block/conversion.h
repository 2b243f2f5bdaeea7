// The one conversion of a double to an integer: truncation toward zero, defined for every
// double. NaN gives 0; values beyond the integer type's range give its nearest limit (an
// infinity included). A plain cast is undefined behaviour in all of those cases.
#pragma once

#include <concepts>
#include <cstdint>
#include <limits>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quenvarith {

namespace detail {
// 2^bits as a double, exact for every integer type's width.
constexpr double powerOfTwo(int bits) {
  double value = 1.0;
  for (int i = 0; i < bits; ++i) value *= 2.0;
  return value;
}
}  // namespace detail

template <std::integral Int>
constexpr Int truncateTo(double value) noexcept {
  using Limits = std::numeric_limits<Int>;
  // One past the largest value: 2^digits, exactly representable.
  constexpr double upperExclusive = detail::powerOfTwo(Limits::digits);
  constexpr auto lowest = static_cast<double>(Limits::min());
  // In range first (NaN is not), so that the usual case takes one test.
  if (value > lowest && value < upperExclusive) return static_cast<Int>(value);
  if (value != value) return 0;  // NaN
  return value > 0.0 ? Limits::max() : Limits::min();
}

constexpr int32_t truncateToInt32(double value) noexcept {
#if defined(__SSE2__)
  // The processor's truncation gives INT32_MIN for NaN and for everything out of range: any
  // other result is the truncation itself, in one instruction and one test. Every step reads
  // its parameters through here.
  if (!std::is_constant_evaluated()) {
    const int32_t truncated = _mm_cvttsd_si32(_mm_set_sd(value));
    if (truncated != std::numeric_limits<int32_t>::min()) [[likely]] {
      return truncated;
    }
  }
#endif
  return truncateTo<int32_t>(value);
}

// True when `value` is a whole number that an int32_t holds exactly.
constexpr bool isExactInt32(double value) noexcept {
  return static_cast<double>(truncateToInt32(value)) == value;
}

}  // namespace quenvarith
