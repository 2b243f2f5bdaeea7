// What a kernel needs of the processor beyond the architecture's baseline, and whether this one
// has it. Each architecture answers in a file of its own (cpu_x86.cpp); a build without vector
// kernels answers with cpu_portable.cpp, which knows of no feature.
#pragma once

#include <cstdint>

namespace quenvarith {

enum class CpuFeature : uint8_t {
  none,     // the baseline: every processor of the architecture
  avx2Fma,  // AVX2 and FMA, with the YMM state saved by the operating system
  avx512f,  // AVX-512F, with the ZMM and opmask state saved by the operating system
};

// Whether this processor has `feature`. The processor is asked once, at the first call (never
// at load), and the answer is a constant of the process.
bool cpuHas(CpuFeature feature);

}  // namespace quenvarith
