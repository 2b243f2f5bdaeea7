// Which vector kernels this x86-64 processor runs, and the dispatch to them. Built only when the
// vector kernels are (SLEEF found, x86-64, GCC or Clang).
#include <cpuid.h>

#include <cstdint>

#include "block/tone_kernel/kernels.h"

namespace quenvarith::detail {

namespace {

// The register state the operating system saves on a context switch (XCR0).
uint64_t savedRegisterState() {
  uint32_t low = 0;
  uint32_t high = 0;
  __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return (uint64_t{high} << 32U) | low;
}

constexpr uint32_t kFmaBit = 1U << 12U;      // leaf 1, ECX
constexpr uint32_t kOsXsaveBit = 1U << 27U;  // leaf 1, ECX
constexpr uint32_t kAvxBit = 1U << 28U;      // leaf 1, ECX
constexpr uint32_t kAvx2Bit = 1U << 5U;      // leaf 7, EBX
constexpr uint32_t kAvx512fBit = 1U << 16U;  // leaf 7, EBX
constexpr uint64_t kYmmState = 0x6;          // XMM and upper YMM halves
constexpr uint64_t kZmmState = 0xe6;         // the above, opmasks, upper ZMM halves, ZMM16-31

constexpr uint32_t kernelBit(ToneKernel kernel) {
  return uint32_t{1} << static_cast<uint32_t>(kernel);
}

}  // namespace

uint32_t detectToneKernels() {
  uint32_t eax = 0;
  uint32_t ebx = 0;
  uint32_t ecx = 0;
  uint32_t edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) {
    return 0;
  }
  const uint32_t leaf1Ecx = ecx;
  // SLEEF's AVX2 functions use FMA as well.
  const uint32_t avxNeeds = kOsXsaveBit | kAvxBit | kFmaBit;
  if ((leaf1Ecx & avxNeeds) != avxNeeds) {
    return 0;
  }
  const uint64_t state = savedRegisterState();
  if ((state & kYmmState) != kYmmState) {
    return 0;
  }
  if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) {
    return 0;
  }
  uint32_t runnable = 0;
  if ((ebx & kAvx2Bit) != 0) {
    runnable |= kernelBit(ToneKernel::avx2);
  }
  if ((ebx & kAvx512fBit) != 0 && (state & kZmmState) == kZmmState) {
    runnable |= kernelBit(ToneKernel::avx512) | kernelBit(ToneKernel::avx512Poly);
  }
  return runnable;
}

ToneStreamKernel vectorStreamKernel(ToneKernel kernel) {
  if (kernel == ToneKernel::avx512Poly) {
    return {appendPhasesAvx512Poly, appendFrameAvx512Poly, flushPhasesAvx512Poly};
  }
  if (kernel == ToneKernel::avx512) {
    return {appendPhasesAvx512, appendFrameAvx512, flushPhasesAvx512};
  }
  return {appendPhasesAvx2, appendFrameAvx2, flushPhasesAvx2};
}

void advanceTonePhasesVector(ToneKernel kernel, double* tonePhase, const double* phaseStep,
                             std::size_t toneCount, int32_t n) {
  if (kernel == ToneKernel::avx512 || kernel == ToneKernel::avx512Poly) {
    advanceTonePhasesAvx512(tonePhase, phaseStep, toneCount, n);
  } else {
    advanceTonePhasesAvx2(tonePhase, phaseStep, toneCount, n);
  }
}

}  // namespace quenvarith::detail
