// The cf32 narrowing: every variant this processor runs gives the plain loop's bytes, and the
// plain loop saturates to infinity beyond the largest float.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/narrowing.h"

namespace quenvarith::engine {
namespace {

constexpr double kLargestFloat = std::numeric_limits<float>::max();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

std::vector<uint32_t> narrowed(const std::vector<double>& values, VectorLevel narrowing) {
  std::vector<char> bytes(values.size() * sizeof(float));
  narrowToFloats(values, bytes.data(), narrowing);
  std::vector<uint32_t> words(values.size());
  if (!bytes.empty()) {  // an empty vector's data may be null, which memcpy must not get
    std::memcpy(words.data(), bytes.data(), bytes.size());
  }
  return words;
}

TEST(Narrowing, SaturatesBeyondTheLargestFloatAndKeepsEverythingElse) {
  struct Case {
    double value;
    float expected;
  };
  const float infinity = std::numeric_limits<float>::infinity();
  const float largest = std::numeric_limits<float>::max();
  const double justAbove = std::nextafter(kLargestFloat, kInfinity);
  for (const Case c :
       {Case{0.5, 0.5F}, Case{-0.0, -0.0F}, Case{kLargestFloat, largest},
        Case{-kLargestFloat, -largest}, Case{justAbove, infinity}, Case{-justAbove, -infinity},
        Case{1e300, infinity}, Case{-kInfinity, -infinity}, Case{1e-320, 0.0F}}) {
    EXPECT_EQ(narrowed({c.value}, VectorLevel::Plain)[0], std::bit_cast<uint32_t>(c.expected))
        << c.value;
  }
  const float nan = std::bit_cast<float>(narrowed({std::nan("")}, VectorLevel::Plain)[0]);
  EXPECT_TRUE(std::isnan(nan));
}

// Every length up to three vectors' worth and a ragged tail, each value special somewhere.
TEST(Narrowing, EveryVariantGivesThePlainBytes) {
  const std::vector<double> specials{0.25,
                                     -1.0,
                                     -0.0,
                                     kLargestFloat,
                                     std::nextafter(kLargestFloat, kInfinity),
                                     -1e39,
                                     kInfinity,
                                     std::nan(""),
                                     -std::numeric_limits<double>::quiet_NaN(),
                                     1e-40,
                                     0.1,
                                     3.4028235677973366e38};
  for (const VectorLevel narrowing : {VectorLevel::Plain, VectorLevel::Avx2}) {
    if (!runsHere(narrowing)) {
      continue;
    }
    for (size_t length = 0; length <= 27; ++length) {
      std::vector<double> values(length);
      for (size_t i = 0; i < length; ++i) {
        values[i] = specials[(i * 5 + length) % specials.size()];
      }
      EXPECT_EQ(narrowed(values, narrowing), narrowed(values, VectorLevel::Plain))
          << "length " << length;
    }
  }
}

}  // namespace
}  // namespace quenvarith::engine
