// The engine's twister against the standard mt19937_64: the same draws for every seed, on
// every vector level this processor runs, however the draws are cut into calls.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "engine/mersenne_twister.h"

namespace quenvarith::engine {
namespace {

TEST(MersenneTwister64, DrawsWhatTheStandardGeneratorDraws) {
  // Calls of one draw, of a few, across a state's end, of exactly a state and of several states.
  const std::vector<size_t> calls = {1, 3, 311, 1, 312, 313, 1000, 7, 2000};
  for (const VectorLevel level : {VectorLevel::Plain, VectorLevel::Avx2}) {
    if (!runsHere(level)) {
      continue;
    }
    for (const uint64_t seed : {uint64_t{0}, uint64_t{1}, uint64_t{5489}, ~uint64_t{0}}) {
      MersenneTwister64 twister(seed, level);
      std::mt19937_64 reference(seed);  // NOLINT(cert-msc32-c,cert-msc51-cpp): seeded on purpose
      size_t drawn = 0;
      for (const size_t count : calls) {
        std::vector<uint64_t> draws(count);
        twister.draw(draws);
        for (const uint64_t draw : draws) {
          ASSERT_EQ(draw, reference())
              << "level " << static_cast<int>(level) << ", seed " << seed << ", draw " << drawn;
          ++drawn;
        }
      }
    }
  }
}

}  // namespace
}  // namespace quenvarith::engine
