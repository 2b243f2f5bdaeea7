// Numbers of the input text beyond the double range: read by their digits, not by their length.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "engine/input_sources.h"

namespace quenvarith::engine {
namespace {

// A number that shows no exponent rounds by the value of its digits: 0.000...1 with 400 zeros is
// 0, not an infinity.
TEST(ParseNumber, RoundsNumbersBeyondTheDoubleRangeByTheirDigits) {
  const std::string zeros(400, '0');
  double value = -1.0;
  ASSERT_TRUE(parseNumber("0." + zeros + "1", value));
  EXPECT_EQ(value, 0.0);
  EXPECT_FALSE(std::signbit(value));
  ASSERT_TRUE(parseNumber("-0." + zeros + "1", value));
  EXPECT_EQ(value, 0.0);
  EXPECT_TRUE(std::signbit(value));
  ASSERT_TRUE(parseNumber("1" + zeros, value));
  EXPECT_EQ(value, HUGE_VAL);
  ASSERT_TRUE(parseNumber("-1" + zeros + ".5", value));
  EXPECT_EQ(value, -HUGE_VAL);
  ASSERT_TRUE(parseNumber("+1e400", value));
  EXPECT_EQ(value, HUGE_VAL);
  ASSERT_TRUE(parseNumber("1e-400", value));
  EXPECT_EQ(value, 0.0);
  // Below the normal range but not below the subnormals: the nearest subnormal, not 0.
  ASSERT_TRUE(parseNumber("1e-320", value));
  EXPECT_EQ(value, 1e-320);
  ASSERT_TRUE(
      parseNumber("0.0000000000000000000000000000000000000000000000000000000000000"
                  "0000000000000000000000000000000000000000000000000000000000000000"
                  "0000000000000000000000000000000000000000000000000000000000000000"
                  "0000000000000000000000000000000000000000000000000000000000000000"
                  "000000000000000000000000000000000000000000000000000000000001",
                  value));
  EXPECT_GT(value, 0.0);
  EXPECT_LT(value, 1e-300);
}

}  // namespace
}  // namespace quenvarith::engine
