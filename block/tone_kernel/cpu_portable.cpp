// A build without vector kernels: nothing beyond the baseline is looked for, so only the plain
// kernel runs.
#include "block/tone_kernel/cpu_features.h"

namespace quenvarith {

bool cpuHas(CpuFeature feature) {
  return feature == CpuFeature::none;
}

}  // namespace quenvarith
