// Samples narrowed to the cf32 stream: doubles to little-endian floats, saturating to infinity
// where a float cannot hold the value (a conversion alone would round the values just above
// the largest float down to it). A plain loop, and a vector one where the processor has AVX2;
// both give the same bytes.
#pragma once

#include <span>

namespace quenvarith::engine {

enum class Narrowing { Plain, Avx2 };

// The fastest narrowing this processor runs.
Narrowing fastestNarrowing();
// Whether this processor runs `narrowing`.
bool runsHere(Narrowing narrowing);

// Writes values.size() floats to `out`. A narrowing this processor cannot run narrows plainly.
void narrowToFloats(std::span<const double> values, char* out, Narrowing narrowing);

}  // namespace quenvarith::engine
