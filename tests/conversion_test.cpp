#include "block/conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quenvarith {
namespace {

TEST(TruncateToInt32, TruncatesTowardZero) {
  EXPECT_EQ(truncateToInt32(2.9), 2);
  EXPECT_EQ(truncateToInt32(-0.5), 0);
  EXPECT_EQ(truncateToInt32(-2.9), -2);
  EXPECT_EQ(truncateToInt32(-0.0), 0);
}

TEST(TruncateToInt32, IsDefinedForEveryDouble) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(truncateToInt32(std::nan("")), 0);
  EXPECT_EQ(truncateToInt32(inf), INT32_MAX);
  EXPECT_EQ(truncateToInt32(-inf), INT32_MIN);
  EXPECT_EQ(truncateToInt32(4294967296.0), INT32_MAX);
  EXPECT_EQ(truncateToInt32(2147483647.9), INT32_MAX);
  EXPECT_EQ(truncateToInt32(-2147483648.9), INT32_MIN);
  EXPECT_EQ(truncateToInt32(1e300), INT32_MAX);
  // The processor's own out-of-range result, INT32_MIN, is also a true result at the bottom.
  EXPECT_EQ(truncateToInt32(-2147483648.0), INT32_MIN);
  EXPECT_EQ(truncateToInt32(-2147483647.9), -2147483647);
  EXPECT_EQ(truncateToInt32(-2147483649.0), INT32_MIN);
  EXPECT_EQ(truncateToInt32(-1e300), INT32_MIN);
  static_assert(truncateToInt32(-2.5) == -2 && truncateToInt32(-2147483648.5) == INT32_MIN);
}

TEST(TruncateTo, CoversWideAndUnsignedTypes) {
  EXPECT_EQ(truncateTo<uint32_t>(-3.5), 0u);
  EXPECT_EQ(truncateTo<uint32_t>(4294967295.0), 4294967295u);
  EXPECT_EQ(truncateTo<uint32_t>(4294967296.0), 4294967295u);
  EXPECT_EQ(truncateTo<int64_t>(9.3e18), INT64_MAX);
  EXPECT_EQ(truncateTo<uint64_t>(std::nan("")), 0u);
}

TEST(IsExactInt32, RejectsFractionsRangeAndNaN) {
  EXPECT_TRUE(isExactInt32(0.0));
  EXPECT_TRUE(isExactInt32(-2147483648.0));
  EXPECT_FALSE(isExactInt32(0.5));
  EXPECT_FALSE(isExactInt32(4294967296.0));
  EXPECT_FALSE(isExactInt32(std::nan("")));
}

}  // namespace
}  // namespace quenvarith
