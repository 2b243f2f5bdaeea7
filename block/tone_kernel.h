// The synthesis kernel: N samples of one tone from a start phase. The phase advances by
// repeated addition (never start + j * step), so every implementation produces the same
// phases bit for bit; only the sine and cosine routine may differ.
#pragma once

#include <cstdint>

namespace quenvarith {

// Writes `count` interleaved (cos, sin) pairs of the phases start, start + step, ... to
// `samples` and returns the phase after `count` additions.
double synthesizeTone(double startPhase, double step, int32_t count, double* samples);

// The straightforward reference: std::cos and std::sin per sample.
double synthesizeTonePlain(double startPhase, double step, int32_t count, double* samples);

}  // namespace quenvarith
