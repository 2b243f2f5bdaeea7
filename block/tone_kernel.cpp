#include "block/tone_kernel.h"

#include <cmath>

namespace quenvarith {

double synthesizeTonePlain(double startPhase, double step, int32_t count, double* samples) {
  double phase = startPhase;
  for (int32_t j = 0; j < count; ++j) {
    samples[2 * j] = std::cos(phase);
    samples[2 * j + 1] = std::sin(phase);
    phase += step;
  }
  return phase;
}

double synthesizeTone(double startPhase, double step, int32_t count, double* samples) {
  return synthesizeTonePlain(startPhase, step, count, samples);
}

}  // namespace quenvarith
