// Samples narrowed to the cf32 stream: doubles to little-endian floats, saturating to infinity
// where a float cannot hold the value (a conversion alone would round the values just above
// the largest float down to it). A plain loop, and a vector one where the processor has AVX2;
// both give the same bytes.
#pragma once

#include <span>

#include "engine/vector_level.h"

namespace quenvarith::engine {

// Writes values.size() floats to `out`. A level this processor cannot run narrows plainly.
void narrowToFloats(std::span<const double> values, char* out, VectorLevel level);

}  // namespace quenvarith::engine
