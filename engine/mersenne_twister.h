// The 64-bit Mersenne Twister: for every seed the same draws as std::mt19937_64, made a whole
// state at a time, four words at once where the processor has AVX2. The standard generator
// gives one draw per call and twists one word at a time, which made the random input the
// slowest thread of a run.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/vector_level.h"

namespace quenvarith::engine {

class MersenneTwister64 {
 public:
  static constexpr size_t kStateWords = 312;

  // The loops of `level` where this processor runs them, the plain ones else.
  explicit MersenneTwister64(uint64_t seed, VectorLevel level = fastestVectorLevel());

  // The next out.size() draws.
  void draw(std::span<uint64_t> out);

 private:
  alignas(32) std::array<uint64_t, kStateWords> state_{};
  size_t next_ = kStateWords;  // the first word not yet drawn; a new state is due at the end
  bool avx2_;
};

}  // namespace quenvarith::engine
