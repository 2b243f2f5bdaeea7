// The six work vectors, by index.
#pragma once

#include <cstdint>

namespace quenvarith {

enum class WorkVector : int32_t {
  SymbolIndices = 0,  // int32 per symbol of the current input
  SampleBuffer = 1,   // complex double, N per symbol
  Phase = 2,          // running phase at the end of the last symbol
  PhaseStep = 3,      // per-sample phase increment of each tone
  TonePhase = 4,      // free-running phase of each tone
  SampleCounter = 5,  // next sampleBuffer entry to output (sample-based)
};
inline constexpr int32_t kWorkVectorCount = 6;

}  // namespace quenvarith
