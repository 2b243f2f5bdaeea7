// The widest vector instructions the engine's own loops use on this processor: the cf32
// narrowing and the random source's generator each have a plain loop and an AVX2 one that give
// the same results.
#pragma once

namespace quenvarith::engine {

enum class VectorLevel { Plain, Avx2 };

// The widest level this processor runs.
VectorLevel fastestVectorLevel();
// Whether this processor runs `level`.
bool runsHere(VectorLevel level);

}  // namespace quenvarith::engine
