// The table of kernels: every kernel this build carries, from the narrowest level to the
// widest. A new kernel is a file of its own (its entry points declared in kernels.h, its level
// named in kernel_level.h), a row here and a branch in CMakeLists.txt.
#include "block/tone_kernel/kernel_table.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>

#include "block/tone_kernel/kernels.h"

namespace quenvarith {

namespace {

namespace kernels = tone_kernel;

constexpr std::array kToneKernels = {
    ToneKernel{KernelLevel::plain, CpuFeature::none, kernels::plain::appendSymbol,
               kernels::plain::appendFrame, kernels::plain::flush, kernels::plain::appendWholeFrame,
               kernels::plain::advanceTones},
#if defined(QUENVARITH_X86_KERNELS)
    ToneKernel{KernelLevel::avx2, CpuFeature::avx2Fma, kernels::avx2::appendSymbol,
               kernels::avx2::appendFrame, kernels::avx2::flush, kernels::avx2::appendWholeFrame,
               kernels::avx2::advanceTones},
    ToneKernel{KernelLevel::avx512, CpuFeature::avx512f, kernels::avx512::appendSymbol,
               kernels::avx512::appendFrame, kernels::avx512::flush,
               kernels::avx512::appendWholeFrame, kernels::avx512::advanceTones},
#endif
};

// The choice below takes the last kernel that runs as the widest, and plain as the one that
// always does.
static_assert(kToneKernels.front().level == KernelLevel::plain &&
              kToneKernels.front().needs == CpuFeature::none);
static_assert(std::ranges::is_sorted(kToneKernels, std::ranges::less{}, &ToneKernel::level) &&
              std::ranges::adjacent_find(kToneKernels, std::ranges::equal_to{},
                                         &ToneKernel::level) == kToneKernels.end());

}  // namespace

std::span<const ToneKernel> toneKernels() {
  return kToneKernels;
}

bool runsOnThisCpu(const ToneKernel& kernel) {
  return cpuHas(kernel.needs);
}

const ToneKernel* findToneKernel(KernelLevel level) {
  const auto* found = std::ranges::find(kToneKernels, level, &ToneKernel::level);
  return found == kToneKernels.end() ? nullptr : found;
}

[[gnu::noinline]] const ToneKernel& chooseToneKernel(std::optional<KernelLevel> requested) {
  const ToneKernel* widest = &kToneKernels.front();
  for (const ToneKernel& kernel : kToneKernels) {
    if (!runsOnThisCpu(kernel)) {
      continue;
    }
    if (kernel.level == requested) {
      return kernel;
    }
    widest = &kernel;
  }
  return *widest;
}

[[gnu::noinline]] const ToneKernel& requestedToneKernel() {
  const char* word = std::getenv(kKernelVariable);
  return chooseToneKernel(word == nullptr ? std::nullopt : parseKernelLevel(word));
}

}  // namespace quenvarith
